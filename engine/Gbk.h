#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace tessivo {

// GBK, which table files are read and written in and text exports may be written in. Every GBK
// question the program asks goes through here. Where Qt has no GBK codec, GBK is taken to hold
// ASCII alone, written as itself, and bytes are read as Latin-1.

// Bytes GBK takes for the character (1 or 2), 0 when it has no code for it (a surrogate alone
// among them).
int GbkBytes(char32_t c);
bool GbkHolds(char32_t c);
// Whether GBK holds every character of the text; a surrogate without its pair it does not.
bool GbkHolds(QStringView text);

// The text in GBK. A character GBK cannot hold becomes a substitute byte: callers that must not
// lose one ask GbkHolds first.
QByteArray EncodeGbk(QStringView text);
// GBK bytes as text, as the codec reads them: a lead byte followed by no trail byte becomes
// U+FFFD, and one at the very end is dropped.
QString DecodeGbk(QByteArrayView bytes);

} // namespace tessivo
