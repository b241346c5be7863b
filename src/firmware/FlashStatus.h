#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// CPU1's flasher reports where it stands in a 12-byte record (three little-endian u32).
struct FlashStatus {
    quint32 code = 0;
    quint32 page = 0;
    quint32 totalPages = 0;

    static constexpr quint32 codeReady = 4; // page 0: preparing; page > 0: complete
    static constexpr quint32 codeTransmitting = 9;
    static constexpr quint32 codeWriting = 11;
    static constexpr quint32 codeWritingAlt = 13;

    bool isComplete() const { return code == codeReady && page != 0; }
};

// No value for a record shorter than 12 bytes; bytes after the record are ignored.
std::optional<FlashStatus> decodeFlashStatus(QByteArrayView value);
