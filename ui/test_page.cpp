#include "ui/test_page.h"

#include <cwchar>
#include <iterator>

#include "backend/stream_names.h"

namespace {

const wchar_t kPageHead[] =
    L"<html>\n"
    L"<h3>Orvane DEMO Page</h3>\n"
    L"<p>Copyright (C) 2026 Orvane. All rights reserved.</p>\n"
    L"<p>If you see pop-up security warning band about ActiveX controls in IE browser, please click "
    L"on it and select <b>\"Allow Blocked Content\"</b></p><br>\n";

const wchar_t kEmbedFormat[] =
    L"<embed src=\"http://%ls:%d/%ls\" quality=\"high\" bgcolor=\"#ffffff\" width=\"%d\" "
    L"height=\"%d\" name=\"Orvane DEMO\" align=\"center\" allowScriptAccess=\"sameDomain\" "
    L"type=\"application/x-shockwave-flash\" pluginspage=\"";

const wchar_t kPluginPage[] = L"http://www.orvane.example/player/";

// Browsers without Flash show the embed as a dead box and never ask for the stream:
// there the embed gives its place to the same stream as MJPEG, which every current
// browser plays in an <img>. Where Flash is there (a plug-in, or IE's ActiveX control)
// the embed alone plays, so the server's one viewer place is not taken twice.
// Until the first picture comes a line of text under it says so; when the stream cannot
// be had (the one viewer place is taken: 503; or no server) it says that, hides the
// browser's broken-picture box (keeping its place) and tries again every few seconds,
// as the viewer page does. While the page is hidden (a background tab, a minimised
// window) it gives the place back, by showing an empty picture instead, and asks for
// the stream again when the page is shown.
// Plain old script, so that old browsers read it too.
const wchar_t kNoFlashFormat[] =
    L"<script type=\"text/javascript\">(function(){"
    L"var m=navigator.mimeTypes&&navigator.mimeTypes[\"application/x-shockwave-flash\"];"
    L"if(m&&m.enabledPlugin)return;"
    L"try{if(new ActiveXObject(\"ShockwaveFlash.ShockwaveFlash\"))return;}catch(e){}"
    L"var f=document.getElementsByTagName(\"embed\")[0],i=document.createElement(\"img\");"
    L"i.src=\"http://%ls:%d/demo.mjpg\";i.width=%d;i.height=%d;i.alt=\"Orvane DEMO\";"
    L"var t=document.createElement(\"p\"),u=i.src,n=0,h=0;"
    L"function say(s){t.innerHTML=s;t.style.display=s?\"\":\"none\";}"
    L"function ask(){say(\"Waiting for the stream...\");i.src=u+\"?retry=\"+(++n);}"
    L"i.onload=function(){if(h)return;say(\"\");i.style.visibility=\"\";};"
    L"i.onerror=function(){if(h)return;i.style.visibility=\"hidden\";say(\"The stream is not available: another viewer may be watching, or the server "
    L"is not running. Trying again in 5 s.\");"
    L"setTimeout(function(){if(!h)ask();},5000);};"
    L"if(document.addEventListener)document.addEventListener(\"visibilitychange\",function(){"
    L"if(document.hidden){h=1;i.style.visibility=\"hidden\";"
    L"i.src=\"data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7\";"
    L"say(\"Paused while the page is hidden.\");}else if(h){h=0;ask();}},false);"
    L"say(\"Waiting for the stream...\");"
    L"f.parentNode.replaceChild(i,f);i.parentNode.insertBefore(t,i.nextSibling);})();</script>\n";

// printf into a string; room is what the arguments may add to the format's length.
template <size_t N, typename... Args>
std::wstring Format(const wchar_t (&format)[N], size_t room, Args... args) {
    std::wstring text(N + room, L'\0');
    int n = std::swprintf(&text[0], text.size(), format, args...);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

}  // namespace

std::wstring FormatTestPage(const std::wstring& address, int32_t port, int32_t width, int32_t height) {
    if (width <= 0) width = 320;
    if (height <= 0) height = 240;
    // The address is at most a dotted quad, but the room is sized for anything passed in.
    const size_t room = address.size() + std::size(kStreamName) + 3 * 12;
    return kPageHead + Format(kEmbedFormat, room, address.c_str(), port, kStreamName, width, height) + kPluginPage +
           L"\" />\n" + Format(kNoFlashFormat, room, address.c_str(), port, width, height) + L"</html>\n";
}

std::optional<Ipv4Address> ChooseLocalAddress(const std::vector<Ipv4Address>& addresses) {
    for (const Ipv4Address& a : addresses)
        if (a[0] != 127) return a;
    return std::nullopt;
}
