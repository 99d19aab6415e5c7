// A small dialog-application framework of our own, with just the classes and
// calls that the launcher uses: an application object whose InitInstance the
// entry point calls, a modal dialog built from a template, a menu wrapper and
// a string loaded from the resources. Narrow-character Win32 throughout.
#pragma once

#include <windows.h>

// A narrow string with resource loading.
class CString {
public:
    CString();
    ~CString();
    CString(const CString&) = delete;
    CString& operator=(const CString&) = delete;

    // Loads string resource `id`; false (and an empty string) if absent.
    BOOL LoadString(UINT id);
    BOOL IsEmpty() const { return m_text[0] == '\0'; }
    operator const char*() const { return m_text; }

private:
    char* m_text;
    char m_empty[1];
};

// A menu handle seen as an object.
class CMenu {
public:
    CMenu() : m_hMenu(nullptr) {}
    // The object for a handle, or null for a null handle. The object is
    // temporary: it stays valid until the next FromHandle call.
    static CMenu* FromHandle(HMENU menu);
    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const char* text = nullptr);

    HMENU m_hMenu;
};

class CWnd {
public:
    CWnd() : m_hWnd(nullptr) {}
    virtual ~CWnd() {}
    CMenu* GetSystemMenu(BOOL revert) const;
    HICON SetIcon(HICON icon, BOOL bigIcon);

    HWND m_hWnd;
};

// A modal dialog built from a dialog template of the application's resources.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    // Runs the dialog until it ends; its end code, or -1 if it could not be
    // created.
    virtual INT_PTR DoModal();

protected:
    // Called while the dialog is being created, before it is shown. TRUE
    // lets the system set the focus.
    virtual BOOL OnInitDialog();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    CWnd* m_parent;
};

// The application object: one global instance. The entry point calls its
// InitInstance.
class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    // Kept for applications written against the 3-D control library; the
    // system draws 3-D controls itself, so there is nothing to enable.
    BOOL Enable3dControls();

    CWnd* m_pMainWnd;
};

CWinApp* AfxGetApp();

// Prepares hosting of ActiveX controls in dialogs. The framework hosts none,
// so this only keeps the call of applications that ask for it.
void AfxEnableControlContainer();

// The module whose resources hold `name` of `type`: the executable's.
HINSTANCE AfxFindResourceHandle(const char* name, const char* type);
