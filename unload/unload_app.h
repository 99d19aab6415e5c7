#pragma once

#include "framework/afx.h"

// The launcher's application object.
class CUnloadApp : public CWinApp {
public:
    BOOL InitInstance() override;
};
