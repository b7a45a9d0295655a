#pragma once
// An http or https address read once into its parts: the scheme, the host, the port and the path with
// its query. Addresses come from the settings and from servers (a redirect's Location), so any text is
// read without harm, and only a plain address is taken: no user name or password before the host, a
// host, and a port, where one is named, that is a number from 1 to 65535.

#include "base/WString.h"

class Url {
public:
    // Longer addresses are refused whole rather than cut.
    static const unsigned MaxLength = 4096;
    static const unsigned MaxHostLength = 255;

    // 1 when `text` is an absolute "http://" or "https://" address (the scheme in any case); after 0
    // every part is empty.
    int Parse(const wchar_t* text);

    int IsSecure() const { return secure; }
    const WString& Host() const { return host; }
    // The one named, else the scheme's own (80 or 443).
    unsigned short Port() const { return port; }
    // From the first '/' or '?' after the host up to a '#', "/" for none; what a request line names.
    const WString& PathAndQuery() const { return path; }
    // "scheme://host", with ":port" where it is not the scheme's own.
    int Origin(WString& text) const;
    // 1 when both are addresses of one scheme, host (in any case) and port.
    int SameOrigin(const Url& other) const;

private:
    void Clear();

    WString host;
    WString path;
    unsigned short port = 0;
    int secure = 0;
};
