// GBK bytes to and from QString, for every window and panel: the one place where the
// program's text crosses into Qt. Constructed by name (encodingForName("GBK") has no enum
// value for it); the user-defined area round trips, characters without a GBK code become "?".
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <string>
#include <string_view>

namespace korvel::ui {

inline QString QStringFromGbk(std::string_view gbk) {
    QStringDecoder decoder("GBK");
    return decoder.decode(QByteArrayView(gbk.data(), static_cast<qsizetype>(gbk.size())));
}

inline std::string GbkFromQString(const QString& text) {
    QStringEncoder encoder("GBK");
    const QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace korvel::ui
