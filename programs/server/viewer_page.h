// The page at "/": plays a stream live in any current browser, without
// plugins, and says what is happening instead of staying black.
#pragma once
#include <string>
#include <vector>

// mjpegNames: the MJPEG form of every stream ("demo.mjpg"); the page plays
// the first, or the one named by "?stream=", and links the others.
std::string ViewerPage(const std::vector<std::string>& mjpegNames);
