#include "platform/widgets/FormatMaskText.h"

// Positions are 1-based throughout, as the mask routines define them; copy() and the helpers
// clamp like the original string routines so that the odd corners behave the same.

namespace cht::platform {
namespace {

enum class MaskCharType {
    None,
    Literal,
    IntlLiteral,
    Directive,
    Mask,
    MaskOpt,
    FieldSeparator,
    Field
};

constexpr QChar kFieldSeparator = u';';
constexpr QChar kNoSave = u'0';
constexpr QChar kDefaultBlank = u'_';
constexpr QChar kLiteral = u'\\';

QChar charAt(const QString& s, qsizetype pos)
{
    return pos >= 1 && pos <= s.size() ? s[pos - 1] : QChar();
}

QString copy(const QString& s, qsizetype index, qsizetype count)
{
    if (index < 1)
        index = 1;
    if (index > s.size() || count <= 0)
        return {};
    return s.mid(index - 1, count);
}

QString copyFrom(const QString& s, qsizetype index)
{
    return copy(s, index, s.size());
}

MaskCharType charType(const QString& mask, qsizetype offset)
{
    const qsizetype len = mask.size();
    if (offset > len || offset < 1)
        return MaskCharType::None;
    const QChar c = mask[offset - 1];
    const bool escapedBefore = charAt(mask, offset - 1) == kLiteral &&
                               !(offset > 2 && charAt(mask, offset - 2) == kLiteral);
    if (offset > 1 && escapedBefore)
        return MaskCharType::Literal;
    if (c == kFieldSeparator && len >= 4 && offset > len - 4)
        return MaskCharType::FieldSeparator;
    if (len >= 4 && offset > len - 4 && charAt(mask, offset - 1) == kFieldSeparator &&
        !(offset > 2 && charAt(mask, offset - 2) == kLiteral))
        return MaskCharType::Field;
    if (c == u':' || c == u'/')
        return MaskCharType::IntlLiteral;
    if (c == u'!' || c == u'>' || c == u'<' || c == kLiteral)
        return MaskCharType::Directive;
    if (c == u'l' || c == u'a' || c == u'c' || c == u'#' || c == u'9')
        return MaskCharType::MaskOpt;
    if (c == u'L' || c == u'A' || c == u'C' || c == u'0')
        return MaskCharType::Mask;
    return MaskCharType::Literal;
}

bool isLiteralType(MaskCharType t)
{
    return t == MaskCharType::Literal || t == MaskCharType::IntlLiteral;
}
bool isMaskType(MaskCharType t)
{
    return t == MaskCharType::Mask || t == MaskCharType::MaskOpt;
}

// '!' anywhere in the mask places the value from the end.
bool reverseDirective(const QString& mask)
{
    return mask.contains(u'!');
}

// The date and time separators of pt-BR are the mask's own characters.
QChar intlLiteralToChar(QChar c)
{
    return c;
}

qsizetype maskOffsetToOffset(const QString& mask, qsizetype maskOffset)
{
    qsizetype n = 0;
    for (qsizetype i = 1; i <= maskOffset; ++i) {
        const MaskCharType t = charType(mask, i);
        if (t != MaskCharType::Directive && t != MaskCharType::Field &&
            t != MaskCharType::FieldSeparator)
            ++n;
    }
    return n;
}

qsizetype offsetToMaskOffset(const QString& mask, qsizetype offset)
{
    if (offset > maskOffsetToOffset(mask, mask.size()))
        return -1;
    qsizetype result = 0;
    qsizetype count = offset;
    for (qsizetype i = 1; i <= mask.size(); ++i) {
        ++result;
        if (charType(mask, i) != MaskCharType::Directive) {
            --count;
            if (count < 0)
                return result;
        }
    }
    return result;
}

// offset is 0-based here, as the callers use it.
bool isLiteralChar(const QString& mask, qsizetype offset)
{
    const qsizetype maskOffset = offsetToMaskOffset(mask, offset);
    return maskOffset >= 0 && isLiteralType(charType(mask, maskOffset));
}

QString padSubField(const QString& mask, const QString& value, qsizetype startFld,
                    qsizetype stopFld, qsizetype len, QChar blank)
{
    const qsizetype have = stopFld - startFld;
    const bool reverse = reverseDirective(mask);
    if (have < len) {
        const qsizetype startPad = reverse ? startFld - 1 : stopFld - 1;
        return copy(value, 1, startPad) + QString(len - have, blank) +
               copyFrom(value, startPad + 1);
    }
    if (have > len) {
        if (reverse)
            return copy(value, 1, startFld - 1) + copyFrom(value, stopFld - len);
        return copy(value, 1, startFld + len - 1) + copyFrom(value, stopFld);
    }
    return value;
}

QString padInputLiterals(const QString& mask, const QString& value, QChar blank)
{
    qsizetype lastLiteral = 0;
    QString result = value;
    for (qsizetype maskOffset = 1; maskOffset <= mask.size(); ++maskOffset) {
        if (!isLiteralType(charType(mask, maskOffset)))
            continue;
        const qsizetype offset = maskOffsetToOffset(mask, maskOffset);
        const QChar literal = intlLiteralToChar(mask[maskOffset - 1]);
        qsizetype endSubFld = result.size() + 1;
        for (qsizetype j = lastLiteral + 1; j <= result.size(); ++j) {
            if (result[j - 1] == literal) {
                endSubFld = j;
                break;
            }
        }
        if (endSubFld > result.size())
            result += literal;
        result = padSubField(mask, result, lastLiteral + 1, endSubFld, offset - (lastLiteral + 1),
                             blank);
        lastLiteral = offset;
    }
    const qsizetype maxChars = maskOffsetToOffset(mask, mask.size());
    if (result.size() != maxChars)
        result = padSubField(mask, result, lastLiteral + 1, result.size() + 1,
                             maxChars - lastLiteral, blank);
    for (qsizetype i = 0; i < result.size(); ++i)
        if (result[i] == u' ' && !isLiteralChar(mask, i))
            result[i] = blank;
    return result;
}

QString maskDoFormatText(const QString& mask, const QString& value, QChar blank)
{
    QString result = value;
    if (!reverseDirective(mask)) {
        // From the start: literals inserted, missing positions blank at the end.
        qsizetype offset = 1;
        for (qsizetype maskOffset = 1; maskOffset <= mask.size(); ++maskOffset) {
            const MaskCharType t = charType(mask, maskOffset);
            if (isLiteralType(t)) {
                result = copy(result, 1, offset - 1) + intlLiteralToChar(mask[maskOffset - 1]) +
                         copy(result, offset, result.size() - offset + 1);
                ++offset;
            } else if (isMaskType(t)) {
                if (offset > result.size())
                    result += blank;
                ++offset;
            }
        }
        return result;
    }
    // From the end: literals inserted, missing positions blank at the start.
    qsizetype offset = result.size();
    for (qsizetype maskOffset = mask.size(); maskOffset >= 1; --maskOffset) {
        const MaskCharType t = charType(mask, maskOffset);
        if (isLiteralType(t)) {
            result = copy(result, 1, offset) + intlLiteralToChar(mask[maskOffset - 1]) +
                     copy(result, offset + 1, result.size() - offset);
        } else if (isMaskType(t)) {
            if (offset < 1)
                result = blank + result;
            else
                --offset;
        }
    }
    return result;
}

} // namespace

bool MaskGetMaskSave(const QString& editMask)
{
    const qsizetype len = editMask.size();
    if (len < 4)
        return true;
    qsizetype sep1 = -1;
    qsizetype sep2 = -1;
    qsizetype i = len;
    while (sep2 < 0) {
        if (charType(editMask, i) == MaskCharType::FieldSeparator) {
            if (sep1 < 0)
                sep1 = i;
            else
                sep2 = i;
        }
        --i;
        if (i <= 0 || i < len - 4)
            break;
    }
    if (sep2 < 0)
        sep2 = sep1;
    if (sep2 > 0 && sep2 != len)
        return editMask[sep2] != kNoSave;
    return true;
}

QChar MaskGetMaskBlank(const QString& editMask)
{
    const qsizetype len = editMask.size();
    if (len >= 4 && charType(editMask, len - 1) == MaskCharType::FieldSeparator &&
        (charType(editMask, len - 2) == MaskCharType::FieldSeparator ||
         charType(editMask, len - 3) == MaskCharType::FieldSeparator))
        return editMask[len - 1];
    return kDefaultBlank;
}

bool MaskValueFits(const QString& editMask, const QString& value)
{
    if (editMask.isEmpty())
        return false;
    const bool literalsSaved = MaskGetMaskSave(editMask);
    qsizetype at = 0;
    for (qsizetype maskOffset = 1; maskOffset <= editMask.size(); ++maskOffset) {
        const MaskCharType t = charType(editMask, maskOffset);
        const QChar m = editMask[maskOffset - 1];
        if (isLiteralType(t)) {
            if (!literalsSaved)
                continue;
            if (at >= value.size() || value[at] != intlLiteralToChar(m))
                return false;
            ++at;
            continue;
        }
        if (!isMaskType(t))
            continue;
        if (at >= value.size())
            return false;
        const QChar c = value[at++];
        if (t == MaskCharType::MaskOpt && c == u' ')
            continue;
        const char kind = static_cast<char>(m.toLower().toLatin1());
        const bool ok = kind == 'c' || (kind == 'l' && c.isLetter()) ||
                        (kind == 'a' && c.isLetterOrNumber()) ||
                        ((kind == '0' || kind == '9') && c.isDigit()) ||
                        (kind == '#' && (c.isDigit() || c == u'+' || c == u'-'));
        if (!ok)
            return false;
    }
    return at == value.size();
}

QString FormatMaskText(const QString& editMask, const QString& value)
{
    if (MaskGetMaskSave(editMask))
        return padInputLiterals(editMask, value, u' ');
    return maskDoFormatText(editMask, value, u' ');
}

} // namespace cht::platform
