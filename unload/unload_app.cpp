#include "unload_app.h"

#include "unload_dlg.h"

// The one application object.
CUnloadApp theApp;

BOOL CUnloadApp::InitInstance()
{
    AfxEnableControlContainer();
    Enable3dControls();

    CUnloadDlg dialog;
    m_pMainWnd = &dialog;
    // Does not return: the dialog ends the process while it initialises.
    dialog.DoModal();
    return FALSE;
}
