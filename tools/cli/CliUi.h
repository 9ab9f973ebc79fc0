// The document's user interface on the command line: there is no control panel,
// and notices go to stderr.
#pragma once

#include <cstdio>
#include <string>

#include "document/DocumentUi.h"

class CliUi : public IDocumentUi {
public:
    void UpdateControlPanel(const CDorvanelleDoc&) override {}
    void ClearControlPanel() override {}
    void ShowNotice(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};
