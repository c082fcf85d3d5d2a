#include "counters.h"
#include "length_counter.h"
#include "window_walk.h"

#include <algorithm>
#include <vector>

namespace kestrin {
namespace {

// Lengths 0, 1 and 2: one slot per possible string (per first byte for length 0).
class ArrayCounter final : public LengthCounter
{
public:
    explicit ArrayCounter(std::int64_t sampleLength)
        : LengthCounter(sampleLength), hits(std::size_t{1} << (8 * std::max<std::int64_t>(sampleLength, 1))),
          order(hits.size())
    {
    }

    [[nodiscard]] unsigned FileJobs() const override { return 1; }

    bool CountFile(unsigned /*job*/, const InputFile& file, std::uint32_t /*fileIndex*/, const FileScan& scan,
                   std::uint64_t fileBase, WorkProgress& progress, const std::atomic<bool>& cancel) override
    {
        for (const CountedRun& run : scan.runs) {
            const bool completed = ForEachWindow(
                file, run, length, progress, cancel,
                [&](std::int64_t position) {
                    std::size_t slot = file.ByteAt(position);
                    if (length == 2) {
                        slot = (slot << 8) | file.ByteAt(position + 1);
                    }
                    if (hits[slot]++ == 0) {
                        order[slot] = fileBase + static_cast<std::uint64_t>(position);
                        ++distinct;
                    }
                },
                [&] { return distinct; });
            if (!completed) {
                return false;
            }
        }
        return true;
    }

    [[nodiscard]] std::int64_t DistinctHere() const override { return distinct; }

protected:
    void VisitHere(std::size_t /*section*/, void (*callback)(void*, const CountedString&),
                   void* context) const override
    {
        if (length == 0) {
            return; // empty strings save nothing and are never ranked
        }
        // The string of a slot is its own bytes; keep them here so that results can point at them.
        for (std::size_t slot = 0; slot < hits.size(); ++slot) {
            if (hits[slot] == 0) {
                continue;
            }
            CountedString counted;
            counted.text = SlotText(slot);
            counted.hits = static_cast<std::int64_t>(hits[slot]);
            counted.order = order[slot];
            counted.firstByte = static_cast<unsigned char>(counted.text[0]);
            callback(context, counted);
        }
    }

private:
    [[nodiscard]] const char* SlotText(std::size_t slot) const
    {
        // A table of every one- and two-byte string, shared by all array counters.
        static const std::vector<char> texts = [] {
            std::vector<char> all((std::size_t{1} << 16) * 2 + 256);
            for (std::size_t i = 0; i < (std::size_t{1} << 16); ++i) {
                all[2 * i] = static_cast<char>(i >> 8);
                all[2 * i + 1] = static_cast<char>(i & 0xFF);
            }
            for (std::size_t i = 0; i < 256; ++i) {
                all[(std::size_t{1} << 17) + i] = static_cast<char>(i);
            }
            return all;
        }();
        return length == 1 ? &texts[(std::size_t{1} << 17) + slot] : &texts[2 * slot];
    }

    std::vector<std::uint64_t> hits;
    std::vector<std::uint64_t> order;
    std::int64_t distinct = 0;
};

} // namespace

std::unique_ptr<CountingUnit> MakeArrayCounter(std::int64_t length)
{
    return std::make_unique<ArrayCounter>(length);
}

} // namespace kestrin
