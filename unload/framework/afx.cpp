#include "afx.h"

#include <stdlib.h>

namespace {
CWinApp* g_app;
CMenu g_temporaryMenu;
}  // namespace

// ---- CString

CString::CString() : m_text(m_empty), m_empty{'\0'} {}

CString::~CString()
{
    if (m_text != m_empty) {
        free(m_text);
    }
}

BOOL CString::LoadString(UINT id)
{
    if (m_text != m_empty) {
        free(m_text);
        m_text = m_empty;
    }
    // A string resource holds at most 4097 UTF-16 units; in a double-byte
    // code page each may take two bytes.
    const int capacity = 2 * 4097 + 1;
    char* buffer = static_cast<char*>(malloc(capacity));
    if (buffer == nullptr) {
        return FALSE;
    }
    HINSTANCE module =
        AfxFindResourceHandle(MAKEINTRESOURCEA((id >> 4) + 1), MAKEINTRESOURCEA(6) /* RT_STRING */);
    const int length = ::LoadStringA(module, id, buffer, capacity);
    if (length <= 0) {
        free(buffer);
        return FALSE;
    }
    m_text = buffer;
    return TRUE;
}

// ---- CMenu

CMenu* CMenu::FromHandle(HMENU menu)
{
    if (menu == nullptr) {
        return nullptr;
    }
    g_temporaryMenu.m_hMenu = menu;
    return &g_temporaryMenu;
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, const char* text)
{
    return ::AppendMenuA(m_hMenu, flags, id, text);
}

// ---- CWnd

CMenu* CWnd::GetSystemMenu(BOOL revert) const
{
    return CMenu::FromHandle(::GetSystemMenu(m_hWnd, revert));
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon)
{
    return reinterpret_cast<HICON>(SendMessageA(m_hWnd, WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL,
                                                reinterpret_cast<LPARAM>(icon)));
}

// ---- CDialog

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

INT_PTR CDialog::DoModal()
{
    const char* name = MAKEINTRESOURCEA(m_templateId);
    HINSTANCE module = AfxFindResourceHandle(name, MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    return DialogBoxParamA(module, name, m_parent != nullptr ? m_parent->m_hWnd : nullptr,
                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog()
{
    return TRUE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
        dialog->m_hWnd = window;
        return dialog->OnInitDialog();
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// ---- CWinApp

CWinApp::CWinApp() : m_pMainWnd(nullptr)
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this) {
        g_app = nullptr;
    }
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

BOOL CWinApp::Enable3dControls()
{
    return TRUE;
}

CWinApp* AfxGetApp()
{
    return g_app;
}

void AfxEnableControlContainer() {}

HINSTANCE AfxFindResourceHandle(const char* name, const char* type)
{
    (void)name;
    (void)type;
    return GetModuleHandleA(nullptr);
}

// ---- The entry point: the application object was constructed with the
// other static objects; run its InitInstance.

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return -1;
    }
    app->InitInstance();
    return 0;
}
