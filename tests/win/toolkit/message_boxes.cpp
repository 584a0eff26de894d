#include "toolkit/message_boxes.h"

#include "toolkit/window_text.h"

namespace wintest {

namespace {

constexpr int kMessageStatic = 0xFFFF;

struct BoxSearch {
    const BoxScope* scope;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectBox(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(wnd, &processId);
    if (search->scope->processId && processId != search->scope->processId) return TRUE;
    wchar_t cls[16] = {};
    ::GetClassNameW(wnd, cls, 16);
    if (wnd != search->scope->ignore && lstrcmpW(cls, L"#32770") == 0 && ::IsWindowVisible(wnd) &&
        ::GetDlgItem(wnd, kMessageStatic))
        search->found.push_back(wnd);
    return TRUE;
}

}  // namespace

std::vector<HWND> MessageBoxes(const BoxScope& scope) {
    BoxSearch search{&scope, {}};
    if (scope.threadId) ::EnumThreadWindows(scope.threadId, CollectBox, reinterpret_cast<LPARAM>(&search));
    else ::EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

AnsweredBox AnswerMessageBox(const BoxScope& scope, int button, DWORD timeoutMs) {
    AnsweredBox answered;
    HWND box = nullptr;
    if (!WaitUntil(
            [&] {
                std::vector<HWND> boxes = MessageBoxes(scope);
                box = boxes.empty() ? nullptr : boxes.front();
                return box != nullptr;
            },
            timeoutMs))
        return answered;
    answered.found = true;
    answered.caption = TextOf(box);
    answered.text = TextOf(::GetDlgItem(box, kMessageStatic));
    answered.owner = ::GetWindow(box, GW_OWNER);
    // Posted, as a click arrives: the box's own loop handles it.
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    WaitUntil([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, timeoutMs);
    return answered;
}

MessageBoxAnswerer::MessageBoxAnswerer(const BoxScope& scope, int button) : m_scope(scope), m_button(button) {
    m_thread = ::CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

MessageBoxAnswerer::~MessageBoxAnswerer() { Wait(); }

AnsweredBox MessageBoxAnswerer::Wait() {
    if (m_thread) {
        ::WaitForSingleObject(m_thread, INFINITE);
        ::CloseHandle(m_thread);
        m_thread = nullptr;
    }
    return m_box;
}

DWORD WINAPI MessageBoxAnswerer::Run(void* param) {
    auto* self = static_cast<MessageBoxAnswerer*>(param);
    self->m_box = AnswerMessageBox(self->m_scope, self->m_button);
    return 0;
}

}  // namespace wintest
