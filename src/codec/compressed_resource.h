#pragma once
// Named resources the program carries inside itself, stored zlib-compressed.
#include <QByteArray>
#include <QString>
#include <stdexcept>

// A resource that is missing or cannot be inflated.
class ResourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ResourceBuffer {
    QByteArray bytes;   // the inflated content
    qint64 size() const { return bytes.size(); }
};

// Reads the Qt resource ":/<name>" and inflates it. Throws ResourceError.
ResourceBuffer LoadCompressedResource(const QString &name);

// Inflates a zlib stream, 61440 bytes at a time. Throws ResourceError when damaged.
QByteArray InflateBytes(const QByteArray &compressed, const QString &name);
