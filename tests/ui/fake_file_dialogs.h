// SPDX-License-Identifier: MIT
#pragma once

#include "file_dialogs.h"

#include <deque>
#include <vector>

namespace kestrin {

// Answers the window's file dialogs from a script, in order, and records what each dialog was asked.
// With no answer left, a dialog is cancelled.
class FakeFileDialogs final : public FileDialogs
{
public:
    struct Request {
        bool save = false;
        bool confirmOverwrite = false;
        FileDialogRequest request;
        bool several = false; // an Open dialog that takes several files
    };

    std::deque<DialogAnswer> answers;
    std::vector<Request> requests;

    DialogAnswer GetOpenFileName(QWidget* /*parent*/, const FileDialogRequest& request) override
    {
        requests.push_back({false, false, request});
        return Next();
    }

    DialogAnswer GetOpenFileNames(QWidget* /*parent*/, const FileDialogRequest& request) override
    {
        requests.push_back({false, false, request, true});
        return Next();
    }

    DialogAnswer GetSaveFileName(QWidget* /*parent*/, const FileDialogRequest& request,
                                 bool confirmOverwrite) override
    {
        requests.push_back({true, confirmOverwrite, request});
        return Next();
    }

private:
    DialogAnswer Next()
    {
        if (answers.empty()) {
            return DialogAnswer::Cancel();
        }
        DialogAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace kestrin
