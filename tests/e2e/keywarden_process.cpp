#include "tests/e2e/keywarden_process.h"

#include <commctrl.h>

#include <cstring>

namespace {

const SIZE_T kRemoteSize = 64 * 1024;
const int kTextRoom = 32 * 1024;
const int kMessageBoxTextId = 0xFFFF;
const int kTabControlId = 1007;
const int kListId = 1022;

std::string ClassOf(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Polls until found() gives a window or the time is up.
HWND WaitFor(const std::function<HWND()>& found, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = found())
            return window;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(10);
    }
}

struct TopLevelSearch {
    DWORD processId;
    std::function<bool(HWND)> match;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM parameter)
{
    TopLevelSearch* search = reinterpret_cast<TopLevelSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && search->match(window))
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD processId, std::function<bool(HWND)> match)
{
    TopLevelSearch search{processId, std::move(match), {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK FindChild(HWND window, LPARAM parameter)
{
    ChildSearch* search = reinterpret_cast<ChildSearch*>(parameter);
    if (GetDlgCtrlID(window) == search->id) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::string ProgramPath()
{
    return kwtest::ExecutableFolder() + "keywarden.exe";
}

KeywardenProcess::KeywardenProcess(const std::string& arguments, const std::string& program,
                                   const std::string& folder)
{
    const std::string path = program.empty() ? ProgramPath() : program;
    std::string command = "\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments);
    const std::string directory = folder.empty() ? path.substr(0, path.find_last_of('\\') + 1) : folder;

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION created{};
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(), &startup,
                       &created)) {
        CloseHandle(created.hThread);
        process = created.hProcess;
        processId = created.dwProcessId;
        WaitForInputIdle(process, 10000);
        remote = VirtualAllocEx(process, nullptr, kRemoteSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
}

KeywardenProcess::~KeywardenProcess()
{
    if (!process)
        return;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        for (HWND window : TopLevelWindows(processId, [](HWND) { return true; }))
            if (TextOf(window) == "Keywarden" && GetDlgItem(window, kTabControlId))
                PostMessageA(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process, 5000) == WAIT_TIMEOUT)
            TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
}

HWND KeywardenProcess::MainWindow(DWORD timeoutMs)
{
    if (main && IsWindow(main))
        return main;
    main = WaitFor(
        [this] {
            std::vector<HWND> found = TopLevelWindows(processId, [](HWND window) {
                return ClassOf(window) == "#32770" && TextOf(window) == "Keywarden" &&
                       GetDlgItem(window, kTabControlId) != nullptr;
            });
            return found.empty() ? nullptr : found.front();
        },
        timeoutMs);
    return main;
}

HWND KeywardenProcess::Control(int id)
{
    HWND window = MainWindow();
    if (!window)
        return nullptr;
    ChildSearch search{id, nullptr};
    EnumChildWindows(window, FindChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> KeywardenProcess::Dialogs(const std::string& caption)
{
    return TopLevelWindows(processId, [&](HWND window) {
        return IsWindowVisible(window) && ClassOf(window) == "#32770" && TextOf(window) == caption &&
               GetDlgItem(window, kTabControlId) == nullptr;
    });
}

HWND KeywardenProcess::WaitForDialog(const std::string& caption, DWORD timeoutMs)
{
    return WaitFor(
        [&] {
            std::vector<HWND> found = Dialogs(caption);
            return found.empty() ? nullptr : found.front();
        },
        timeoutMs);
}

HWND KeywardenProcess::WaitForWindowOfClass(const std::string& className, DWORD timeoutMs)
{
    return WaitFor(
        [&] {
            std::vector<HWND> found = TopLevelWindows(
                processId, [&](HWND window) { return IsWindowVisible(window) && ClassOf(window) == className; });
            return found.empty() ? nullptr : found.front();
        },
        timeoutMs);
}

std::vector<kwtest::Row> KeywardenProcess::Rows()
{
    std::vector<kwtest::Row> rows;
    HWND list = Control(kListId);
    if (!list || !remote)
        return rows;
    char* remoteText = static_cast<char*>(remote) + sizeof(LVITEMA);
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        kwtest::Row row;
        for (int column = 0; column < 5; ++column) {
            LVITEMA item{};
            item.iSubItem = column;
            item.pszText = remoteText;
            item.cchTextMax = kTextRoom;
            WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
            const LRESULT length =
                SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote));
            std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
            if (length > 0)
                ReadProcessMemory(process, remoteText, &text[0], text.size(), nullptr);
            row[static_cast<size_t>(column)] = text;
        }
        rows.push_back(row);
    }
    return rows;
}

bool KeywardenProcess::WaitForRows(const std::function<bool(const std::vector<kwtest::Row>&)>& done,
                                   DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (done(Rows()))
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}

int KeywardenProcess::RowOf(const std::string& name)
{
    std::vector<kwtest::Row> rows = Rows();
    for (size_t index = 0; index < rows.size(); ++index)
        if (rows[index][1] == name)
            return static_cast<int>(index);
    return -1;
}

void KeywardenProcess::Select(const std::vector<int>& rows)
{
    HWND list = Control(kListId);
    auto setState = [&](int index, UINT state) {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED;
        item.state = state;
        WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote));
    };
    setState(-1, 0);
    for (int index : rows)
        setState(index, LVIS_SELECTED);
}

void KeywardenProcess::Click(int id)
{
    PostMessageA(Control(id), BM_CLICK, 0, 0);
}

void KeywardenProcess::Press(HWND dialog, int buttonId)
{
    PostMessageA(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
}

int KeywardenProcess::IsChecked(int id)
{
    return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

std::string KeywardenProcess::DialogText(HWND dialog)
{
    return TextOf(GetDlgItem(dialog, kMessageBoxTextId));
}

void KeywardenProcess::SelectTab(int index)
{
    HWND tabs = Control(kTabControlId);
    RECT rect{};
    SendMessageA(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote));
    ReadProcessMemory(process, remote, &rect, sizeof rect, nullptr);
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(tabs, WM_LBUTTONUP, 0, point);
}

int KeywardenProcess::CurrentTab()
{
    return static_cast<int>(SendMessageA(Control(kTabControlId), TCM_GETCURSEL, 0, 0));
}

std::string KeywardenProcess::DescribeWindows()
{
    std::string text;
    for (HWND window : TopLevelWindows(processId, [](HWND candidate) { return IsWindowVisible(candidate) != FALSE; }))
        text += "\n  [" + ClassOf(window) + "] \"" + TextOf(window) + "\"";
    return text;
}

long KeywardenProcess::WaitForExit(DWORD timeoutMs)
{
    if (!process || WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return static_cast<long>(code);
}
