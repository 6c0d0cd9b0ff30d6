#include "codec/compressed_resource.h"

#include <QFile>
#include <zlib.h>

namespace {
constexpr int kChunk = 61440;
}

QByteArray InflateBytes(const QByteArray &compressed, const QString &name)
{
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        throw ResourceError("zlib could not start inflating \"" + name.toStdString() + "\".");
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    zs.avail_in = static_cast<uInt>(compressed.size());

    QByteArray out;
    char chunk[kChunk];
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        zs.next_out = reinterpret_cast<Bytef *>(chunk);
        zs.avail_out = kChunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            inflateEnd(&zs);
            throw ResourceError("Resource \"" + name.toStdString() + "\" is damaged.");
        }
        const int got = kChunk - static_cast<int>(zs.avail_out);
        out.append(chunk, got);
        // No progress and no more input: the stream ended early.
        if (rc == Z_OK && got == 0 && zs.avail_in == 0) {
            inflateEnd(&zs);
            throw ResourceError("Resource \"" + name.toStdString() + "\" is damaged.");
        }
    }
    inflateEnd(&zs);
    return out;
}

ResourceBuffer LoadCompressedResource(const QString &name)
{
    QFile file(QStringLiteral(":/") + name);
    if (name.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        throw ResourceError(QStringLiteral("Resourcetype RT_RCDATA with name \"%1\" not found.")
                                .arg(name).toStdString());
    }
    ResourceBuffer buffer;
    buffer.bytes = InflateBytes(file.readAll(), name);
    return buffer;
}
