#pragma once

#include "framework/afx.h"

// The launcher's main dialog. It is never shown: its initialisation runs the
// companion library's routine and ends the process.
class CUnloadDlg : public CDialog {
public:
    explicit CUnloadDlg(CWnd* parent = nullptr);

protected:
    BOOL OnInitDialog() override;

private:
    HICON m_hIcon;
};
