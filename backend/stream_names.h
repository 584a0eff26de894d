// What the server calls the encoder's feed and the viewers' stream: the panel writes
// both into orvane.conf, the feed into the encoder's command line and the stream into
// the test page.
#pragma once

constexpr wchar_t kFeedName[] = L"feed.ffm";
constexpr wchar_t kStreamName[] = L"demo.swf";
