#pragma once
// Moving text and numbers between the record's fixed-size fields and the pages' edits. Stored
// strings are UTF-8 and NUL-terminated inside their field; nothing is ever written past a field.
#include <QString>
#include <QValidator>
#include <cstddef>
#include <cstdint>
#include <cstring>

class QLineEdit;
class QObject;

namespace vidora::settingsui {

// Text of a NUL-terminated field; a field without its NUL is read up to its end.
QString fieldText(const char* field, std::size_t size);
template <std::size_t N>
QString fieldText(const char (&field)[N]) {
    return fieldText(field, N);
}

// Stores text as UTF-8 with its NUL and zeroes the rest of the field. Text that does not fit is
// cut at a character boundary; returns false in that case.
bool storeFieldText(char* field, std::size_t size, const QString& text);
template <std::size_t N>
bool storeFieldText(char (&field)[N], const QString& text) {
    return storeFieldText(field, N, text);
}

// As storeFieldText, but a text that still reads as the field does leaves the field's bytes
// alone: a stored text that is not valid UTF-8 (a file written elsewhere) or that carries bytes
// after its NUL passes through an untouched edit unchanged.
void storeChangedFieldText(char* field, std::size_t size, const QString& text);
template <std::size_t N>
void storeChangedFieldText(char (&field)[N], const QString& text) {
    storeChangedFieldText(field, N, text);
}

std::size_t utf8Length(const QString& text);

// The whole number an edit holds; text that is not a number reads as 0.
std::int64_t fieldNumber(const QLineEdit* edit);
std::int32_t clampToInt32(std::int64_t value);
std::uint32_t clampToUInt32(std::int64_t value);

// Refuses input longer than maxChars characters or maxBytes bytes of UTF-8, so that what the
// user types always fits the record field. A stored text longer than the typing limit is shown
// whole and stays acceptable as it is, but no edit may leave a text that long.
class TextLimitValidator final : public QValidator {
  public:
    TextLimitValidator(int maxChars, int maxBytes, QObject* parent);
    State validate(QString& input, int& pos) const override;
    void allowStoredText(const QString& text) { stored_ = text; }

  private:
    int maxChars_;
    int maxBytes_;
    QString stored_;
};

// Digits only, as the number edits accept.
QValidator* makeDigitsValidator(QObject* parent);

}  // namespace vidora::settingsui
