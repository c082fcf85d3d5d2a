#include "kestrin/file_error.h"

namespace kestrin {

std::string Describe(const FileError& error)
{
    return error.path.string() + ": " + error.reason;
}

} // namespace kestrin
