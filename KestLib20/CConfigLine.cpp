#include "KestLib20/CConfigLine.h"

#include "KestLib20/StringAnalysis.h"

namespace {

constexpr int kCommentColumn = 64; // comments start at column 65

CString WithComment(CString text, const CString &comment)
{
    if (comment.IsEmpty()) return text;
    const int width = text.GetLength() > kCommentColumn ? text.GetLength() + 4 : kCommentColumn;
    return text + CString(' ', width - text.GetLength()) + comment;
}

} // namespace

int CConfigLine::FindComment(const CString &text)
{
    for (int i = 0; i + 1 < text.GetLength(); ++i) {
        if (text[i] == '"') {
            const int close = text.Find('"', i + 1);
            if (close > 0) {
                i = close;
                continue;
            }
        }
        if (text[i] == '/' && text[i + 1] == '/') return i;
    }
    return -1;
}

void CConfigLine::LoadFromString(const char *line)
{
    nKind = kText;
    strSection.Empty();
    strKey.Empty();
    strValue.Empty();
    CString whole(line);
    whole.Replace('\t', ' ');
    whole.Trim();
    strComment = whole; // what a text line writes back

    CString body = whole, comment;
    if (const int at = FindComment(whole); at >= 0) {
        comment = whole.Mid(at);
        body = whole.Left(at);
        body.TrimRight();
    }
    const int length = body.GetLength();
    if (length < 4) return;
    if (body[0] == '[' && body[length - 1] == ']') {
        CString name = body.Mid(1, length - 2);
        if (name.Trim().IsEmpty()) return;
        nKind = kSection;
        strSection = name;
        strComment = comment;
        return;
    }
    const int equals = body.Find('=');
    if (equals <= 0) return;
    nKind = kKey;
    strKey = body.Left(equals);
    strKey.Trim();
    strValue = body.Mid(equals + 1);
    strValue.Trim();
    if (strValue.GetLength() >= 2 && strValue[0] == '"' &&
        strValue[strValue.GetLength() - 1] == '"')
        strValue = strValue.Mid(1, strValue.GetLength() - 2);
    strComment = comment;
}

CString CConfigLine::SaveToString(int keyWidth)
{
    switch (nKind) {
    case kSection:
        // A one-character name ("[ a]" in the file) is written with a space in front of it:
        // three characters would read back as a text line and lose the section.
        return WithComment((strSection.GetLength() == 1 ? "[ " : "[") + strSection + ']',
                           strComment);
    case kKey: {
        CString value = strValue;
        // A bracketed value is written as it is unless a "//" in it would read as a comment.
        if (!StringAnalysis_Bracket(value, "<{[\"", ">}]\"") || FindComment(value) >= 0) {
            strValue.Replace('"', '\'');
            value = '"' + strValue + '"';
        }
        const int pad = keyWidth > strKey.GetLength() ? keyWidth - strKey.GetLength() : 0;
        return WithComment(strKey + CString(' ', pad) + " = " + value, strComment);
    }
    default:
        return strComment;
    }
}
