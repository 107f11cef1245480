#include "KestLib20/tagURL.h"

#include "KestLib20/StringConvert.h"

int tagURL::LoadFromString(const char *url)
{
    if (!url) return 0;
    CString text(url);
    text.Replace('\\', '/');
    text.Remove(' ');

    const int schemeEnd = text.Find("://");
    if (schemeEnd == 0) return 0;
    if (schemeEnd > 0) {
        scheme = text.Left(schemeEnd);
        text = text.Mid(schemeEnd + 1);
    }
    const int slashes = text.Find("//");
    if (slashes == 0)
        text = text.Mid(2);
    else if (slashes > 0)
        return 0;

    CString hostPart = text, rest;
    if (const int slash = text.Find('/'); slash == 0) {
        return 0;
    } else if (slash > 0) {
        hostPart = text.Left(slash);
        rest = text.Mid(slash + 1);
    }
    if (const int mark = rest.Find('?'); mark == 0) {
        return 0;
    } else if (mark > 0) {
        path = rest.Left(mark);
        query = rest.Mid(mark + 1);
    } else {
        path = rest;
        query.Empty();
    }

    if (const int at = hostPart.Find('@'); at == 0) {
        return 0;
    } else if (at > 0) {
        const CString userInfo = hostPart.Left(at);
        const int colon = userInfo.Find(':');
        if (colon <= 0) return 0;
        user = userInfo.Left(colon);
        password = userInfo.Mid(colon + 1);
        hostPart = hostPart.Mid(at + 1);
    }

    if (hostPart.IsEmpty() || hostPart[0] == ':') return 0;
    if (const int colon = hostPart.Find(':'); colon > 0) {
        host = hostPart.Left(colon);
        port = StrToInt(hostPart.Mid(colon + 1), port);
    } else {
        host = hostPart;
    }
    return 1;
}
