#include "ui/progress_dialog.h"

#include <commctrl.h>

#include "framework/strings.h"
#include "operation/operation_state.h"
#include "resources/resource.h"
#include "standins/tzrtl/tzrtl.h"
#include "ui/replace_dialog.h"

namespace oper {

namespace {

constexpr UINT kStartTimer = 35;
constexpr UINT kStartDelay = 10;
// The lists catch up with the worker's rows ten times a second.
constexpr UINT kRowsTimer = 36;
constexpr UINT kRowsPeriod = 100;
constexpr int kHostIcon = 128;
constexpr int kDetailGap = 16;

// The options key, built once at initialisation and reused when the dialog
// saves its detail state.
char g_optionsKey[MAX_PATH];

struct ViewOptions {
    DWORD showDetail = 1;
    DWORD fullRowSelect = 1;
    DWORD headerDragDrop = 0;
    DWORD gridLines = 0;
    DWORD twoClickActivate = 0;
};

// Each value read into its 4 bytes whatever its stored type; a value that is
// absent keeps its default.
ViewOptions ReadViewOptions() {
    ViewOptions options;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, g_optionsKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) return options;
    const fw::RegKey key(opened);
    const struct {
        const char* name;
        DWORD* value;
    } values[] = {{"ShowOperationDetail", &options.showDetail},
                  {"FullRowSelect", &options.fullRowSelect},
                  {"HeaderDragDrop", &options.headerDragDrop},
                  {"GridLines", &options.gridLines},
                  {"TwoClickActivate", &options.twoClickActivate}};
    for (const auto& entry : values) {
        DWORD size = sizeof(DWORD);
        RegQueryValueExA(key.get(), entry.name, nullptr, nullptr, reinterpret_cast<BYTE*>(entry.value), &size);
    }
    return options;
}

void SaveShowDetail(uint32_t shown) {
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, g_optionsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &created,
                        nullptr) != ERROR_SUCCESS)
        return;
    const fw::RegKey key(created);
    const DWORD value = shown;
    RegSetValueExA(key.get(), "ShowOperationDetail", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
}

DWORD WithStyleBit(DWORD style, DWORD bit, DWORD option) { return option ? (style | bit) : (style & ~bit); }

void AddTab(HWND tabs, int index, UINT textId) {
    std::wstring text = fw::LoadResString(textId);
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = &text[0];
    SendMessageW(tabs, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));
}

void AddColumn(HWND list, int index, UINT textId, int width) {
    std::wstring text = fw::LoadResString(textId);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = &text[0];
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

// Centred on the work area of the monitor the dialog is on.
void CentreWindow(HWND window) {
    RECT frame;
    GetWindowRect(window, &frame);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    const int x = area.left + ((area.right - area.left) - (frame.right - frame.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (frame.bottom - frame.top)) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CDlgopstatus::CDlgopstatus(HWND parent) : fw::Dialog(IDD_PROGRESS, parent) {}

CDlgopstatus::~CDlgopstatus() = default;

INT_PTR CDlgopstatus::Run() {
    const INT_PTR result = DoModal();
    const HANDLE threads[] = {m_hPrepThread.get(), m_hOperThread.get(), m_hCheckThread.get()};
    for (HANDLE thread : threads) {
        if (thread) WaitForSingleObject(thread, INFINITE);
    }
    return result;
}

std::unique_ptr<ReplacePrompt> CDlgopstatus::CreateReplacePrompt() { return std::make_unique<CRepFiledlg>(nullptr); }

BOOL CDlgopstatus::OnInitDialog() {
    BindControls();
    TzRtl_MakeVendorKeyA("TzVozAdu\\Option", g_optionsKey);
    RemoveCloseItem();
    m_hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kHostIcon));
    SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    m_bShowDetail = 1;
    g_state.errorCount = 0;
    InsertTabsAndColumns();
    ApplyViewOptions();
    ResetOperationState();
    SendMessageW(m_progressTotal, PBM_SETRANGE32, 0, 200);
    SendMessageW(m_progressTotal, PBM_SETPOS, 0, 0);
    SendMessageW(m_progressItem, PBM_SETRANGE32, 0, 100);
    SendMessageW(m_progressItem, PBM_SETPOS, 0, 0);
    const uint32_t kind = RequestView(g_state.request).Kind();
    SetItemText(IDC_OPERATION, fw::LoadResString(kind == kKindEncrypt ? IDS_ENCRYPTING : IDS_DECRYPTING));
    m_bCheckDone = 0;
    m_bOperDone = 0;
    m_bPrepDone = 0;
    g_state.dialog = this;
    m_log.Open(kind);
    m_nTimerId = SetTimer(Window(), kStartTimer, kStartDelay, nullptr);
    SetTimer(Window(), kRowsTimer, kRowsPeriod, nullptr);
    return TRUE;
}

void CDlgopstatus::BindControls() {
    m_tabLists = Item(IDC_LIST_TABS);
    m_listStatus = Item(IDC_STATUS_LIST);
    m_listError = Item(IDC_ERROR_LIST);
    m_staticLeftTime = Item(IDC_LEFT_TIME);
    m_staticElapsed = Item(IDC_ELAPSED);
    m_staticOperation = Item(IDC_OPERATION);
    m_staticItem = Item(IDC_ITEM);
    m_progressTotal = Item(IDC_TOTAL_PROGRESS);
    m_progressItem = Item(IDC_ITEM_PROGRESS);
    m_statusRows.Attach(m_listStatus);
    m_errorRows.Attach(m_listError);
}

// Both lists head their second column "Status".
void CDlgopstatus::InsertTabsAndColumns() const {
    AddTab(m_tabLists, 0, IDS_STATUS);
    AddTab(m_tabLists, 1, IDS_ERROR);
    AddColumn(m_listError, 0, IDS_DESTINATION, 320);
    AddColumn(m_listError, 1, IDS_STATUS, 210);
    AddColumn(m_listStatus, 0, IDS_DESTINATION, 450);
    AddColumn(m_listStatus, 1, IDS_STATUS, 80);
}

void CDlgopstatus::ApplyViewOptions() {
    DWORD style = static_cast<DWORD>(SendMessageW(m_listStatus, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    const ViewOptions options = ReadViewOptions();
    CentreWindow(Window());
    if (!options.showDetail) ToggleDetail();
    style = WithStyleBit(style, LVS_EX_FULLROWSELECT, options.fullRowSelect);
    style = WithStyleBit(style, LVS_EX_HEADERDRAGDROP, options.headerDragDrop);
    style = WithStyleBit(style, LVS_EX_GRIDLINES, options.gridLines);
    style = WithStyleBit(style, LVS_EX_TWOCLICKACTIVATE, options.twoClickActivate);
    SendMessageW(m_listError, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style);
    SendMessageW(m_listStatus, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style);
}

// Every counter a run starts from; the remembered error choice is kept.
void CDlgopstatus::ResetOperationState() const {
    g_state.reverseProgress = 0;
    g_state.applyToAll = 0;
    g_state.fileTotal = 0;
    g_state.filesDone = 0;
    g_state.runState = kRunning;
    g_state.totalBytes = ~0ull;
    g_state.completedBytes = 0;
}

// Hiding the detail area takes the tab control and the gap above it off the
// bottom of the window; showing it adds exactly the same back.
void CDlgopstatus::ToggleDetail() {
    RECT dialog;
    RECT tabs;
    GetWindowRect(Window(), &dialog);
    GetWindowRect(m_tabLists, &tabs);
    const int detail = (tabs.bottom - tabs.top) + kDetailGap;
    const int height = (dialog.bottom - dialog.top) + (m_bShowDetail ? -detail : detail);
    SetItemText(IDC_DETAIL, fw::LoadResString(m_bShowDetail ? IDS_SHOW_DETAIL : IDS_HIDE_DETAIL));
    SetWindowPos(Window(), nullptr, 0, 0, dialog.right - dialog.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_bShowDetail = !m_bShowDetail;
    EnableWindow(m_tabLists, m_bShowDetail ? TRUE : FALSE);
}

// Both lists lie in the same rectangle: tab 0 shows the status list, any
// other tab the error list.
void CDlgopstatus::ShowList(int tab) const {
    ShowWindow(m_listStatus, tab == 0 ? SW_SHOW : SW_HIDE);
    ShowWindow(m_listError, tab == 0 ? SW_HIDE : SW_SHOW);
}

bool CDlgopstatus::OnCommand(WORD id, WORD code) {
    if (id == IDC_PAUSE) {
        ShowRows();
        PauseOrResume();
        return true;
    }
    if (id == IDC_DETAIL) {
        ToggleDetail();
        return true;
    }
    return fw::Dialog::OnCommand(id, code);
}

bool CDlgopstatus::OnNotify(const NMHDR& header, LRESULT* result) {
    if (OnListNotify(header)) return true;
    if (header.idFrom != IDC_LIST_TABS || header.code != TCN_SELCHANGE) return false;
    ShowList(static_cast<int>(SendMessageW(m_tabLists, TCM_GETCURSEL, 0, 0)));
    *result = 0;
    return true;
}

bool CDlgopstatus::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kRowsTimer) {
                ShowRows();
            } else if (wParam == kStartTimer) {
                OnStartTimer();
            } else {
                return false;
            }
            return true;
        case WM_OPER_NOTIFY:
            ShowRows();
            OnCompletion(wParam, lParam);
            *result = 0;
            return true;
        case WM_OPER_ASK_ERROR:
            ShowRows();
            *result = AskErrorChoice(static_cast<int32_t>(lParam));
            return true;
        default:
            return false;
    }
}

void CDlgopstatus::OnDestroy() {
    SaveShowDetail(m_bShowDetail);
    m_log.Close();
}

}  // namespace oper
