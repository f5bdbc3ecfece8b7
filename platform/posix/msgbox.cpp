// Stand-in MessageBoxA: the scripted user reads every box (recorded in order) and
// answers with the next queued answer, or with the affirmative button of the box.
#include "platform/posix/internal.h"

#include <deque>

namespace standin_detail {

namespace {

struct MessageBoxState {
    std::vector<standin::MessageBoxRecord> shown;
    std::deque<int> answers;
};

MessageBoxState &S() {
    static MessageBoxState s;
    return s;
}

}  // namespace

void ResetMessageBoxes() {
    S().shown.clear();
    S().answers.clear();
}

}  // namespace standin_detail

using namespace standin_detail;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    MessageBoxState &s = S();
    s.shown.push_back(standin::MessageBoxRecord{owner, text ? text : "", caption ? caption : "", type});
    if (!s.answers.empty()) {
        int answer = s.answers.front();
        s.answers.pop_front();
        return answer;
    }
    return (type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
}

namespace standin {

const std::vector<MessageBoxRecord> &MessageBoxes() { return S().shown; }
void QueueMessageBoxAnswer(int answer) { S().answers.push_back(answer); }

}  // namespace standin
