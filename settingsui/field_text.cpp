#include "settingsui/field_text.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <limits>

namespace vidora::settingsui {

QString fieldText(const char* field, std::size_t size) {
    const auto* end = static_cast<const char*>(std::memchr(field, 0, size));
    const auto length = end ? static_cast<qsizetype>(end - field) : static_cast<qsizetype>(size);
    return QString::fromUtf8(field, length);
}

bool storeFieldText(char* field, std::size_t size, const QString& text) {
    if (size == 0) {
        return false;
    }
    const QByteArray bytes = text.toUtf8();
    std::size_t length = static_cast<std::size_t>(bytes.size());
    const bool fits = length < size;
    if (!fits) {
        length = size - 1;
        // Never leave half a character behind: back up over continuation bytes.
        while (length > 0 && (static_cast<unsigned char>(bytes[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::memcpy(field, bytes.constData(), length);
    std::memset(field + length, 0, size - length);
    return fits;
}

void storeChangedFieldText(char* field, std::size_t size, const QString& text) {
    if (text != fieldText(field, size)) {
        storeFieldText(field, size, text);
    }
}

std::size_t utf8Length(const QString& text) {
    return static_cast<std::size_t>(text.toUtf8().size());
}

std::int64_t fieldNumber(const QLineEdit* edit) {
    bool ok = false;
    const qlonglong value = edit->text().trimmed().toLongLong(&ok);
    return ok ? value : 0;
}

std::int32_t clampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::uint32_t clampToUInt32(std::int64_t value) {
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(value, 0, std::numeric_limits<std::uint32_t>::max()));
}

TextLimitValidator::TextLimitValidator(int maxChars, int maxBytes, QObject* parent)
    : QValidator(parent), maxChars_(maxChars), maxBytes_(maxBytes) {}

QValidator::State TextLimitValidator::validate(QString& input, int&) const {
    if (input == stored_) {
        return Acceptable;
    }
    if (input.size() > maxChars_ || utf8Length(input) > static_cast<std::size_t>(maxBytes_)) {
        return Invalid;
    }
    return Acceptable;
}

QValidator* makeDigitsValidator(QObject* parent) {
    return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), parent);
}

}  // namespace vidora::settingsui
