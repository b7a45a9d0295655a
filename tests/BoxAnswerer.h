#pragma once
// Answers message boxes from another thread, as a user would: finds each box by its caption, records its
// text and presses the next button of the list (No once the list is used up; after Help the same box gets
// the next button).

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

class BoxAnswerer {
public:
    BoxAnswerer(const wchar_t* caption, std::vector<int> buttons) : caption(caption), answers(std::move(buttons)) {
        thread = std::thread([this] { Run(); });
    }
    ~BoxAnswerer() { Finish(); }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    // Stops looking for boxes; the texts of the boxes answered so far, in order.
    std::vector<std::wstring> Finish() {
        done = true;
        if (thread.joinable())
            thread.join();
        return texts;
    }
    // How many boxes were answered so far.
    size_t Answered() const { return answered; }

private:
    void Run() {
        while (!done) {
            HWND box = FindWindowW(L"#32770", caption.c_str());
            if (!box) {
                Sleep(20);
                continue;
            }
            wchar_t text[512] = L"";
            GetDlgItemTextW(box, 0xFFFF, text, 512);
            if (box != helped)
                texts.push_back(text);
            int button = next < answers.size() ? answers[next++] : IDNO;
            SendMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
            answered++;
            // Help leaves the box open for the next answer.
            helped = button == IDHELP ? box : nullptr;
            while (!done && !helped && IsWindow(box))
                Sleep(20);
        }
    }
    std::wstring caption;
    std::vector<int> answers;
    size_t next = 0;
    HWND helped = nullptr;
    std::vector<std::wstring> texts;
    std::atomic<size_t> answered{0};
    std::atomic<bool> done{false};
    std::thread thread;
};
