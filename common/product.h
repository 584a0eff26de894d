// The product's title: the panel's caption (which a second start looks for), the tray
// tip, the firewall entry, the version information and the viewer page's heading.
#pragma once

// A macro so that the resource script and narrow texts can use it too.
#define ORVANE_PRODUCT_TITLE "Orvane DEMO (Web Edition)"

#ifndef RC_INVOKED
constexpr wchar_t kProductTitle[] = L"" ORVANE_PRODUCT_TITLE;
#endif
