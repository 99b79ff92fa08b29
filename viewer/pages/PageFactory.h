#pragma once
// The pages the main window opens, by page code.

#include "viewer/pages/Page.h"

namespace orv::viewer {

// A new page of `code` as a child of `parent`, given `context`; it shows itself. Null for a code
// without a page.
Page* CreatePage(int code, const PageContext& context, QWidget* parent);

} // namespace orv::viewer
