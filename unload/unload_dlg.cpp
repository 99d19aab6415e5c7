#include "unload_dlg.h"

#include <stdlib.h>

#include "companion_library.h"
#include "resource.h"

namespace {
typedef void (*UnOpenUrlFn)();
}

CUnloadDlg::CUnloadDlg(CWnd* parent) : CDialog(IDD_UNLOAD_DIALOG, parent)
{
    const char* icon = MAKEINTRESOURCEA(IDR_MAINFRAME);
    m_hIcon =
        LoadIconA(AfxFindResourceHandle(icon, MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */), icon);
}

BOOL CUnloadDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    CMenu* systemMenu = GetSystemMenu(FALSE);
    if (systemMenu != nullptr) {
        CString about;
        about.LoadString(IDS_ABOUTBOX);
        if (!about.IsEmpty()) {
            systemMenu->AppendMenu(MF_SEPARATOR);
            systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    HMODULE library = LoadCompanionLibrary();
    if (library != nullptr) {
        UnOpenUrlFn unOpenUrl = reinterpret_cast<UnOpenUrlFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "unOpenUrl")));
        if (unOpenUrl != nullptr) {
            unOpenUrl();
        }
        FreeLibrary(library);
    }

    // The process ends here, before the dialog is ever shown.
    exit(0);
}
