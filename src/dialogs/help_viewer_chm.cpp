#include "dialogs/help_viewer_chm.h"

#include <QFile>
#include <chm_lib.h>
#include <cstring>

namespace {

QByteArray objectPath(const QString &object)
{
    QString p = object;
    if (!p.startsWith('/'))
        p.prepend('/');
    return QFile::encodeName(p);
}

int collectPage(chmFile *, chmUnitInfo *ui, void *context)
{
    auto *list = static_cast<QStringList *>(context);
    QString path = QString::fromUtf8(ui->path);
    if (path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
        path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
        list->append(path.mid(1));
    return CHM_ENUMERATOR_CONTINUE;
}

}

ChmArchive::~ChmArchive() { close(); }

bool ChmArchive::open(const QString &path)
{
    close();
    m_file = chm_open(QFile::encodeName(path).constData());
    if (m_file)
        m_path = path;
    return m_file != nullptr;
}

void ChmArchive::close()
{
    if (m_file)
        chm_close(m_file);
    m_file = nullptr;
    m_path.clear();
}

bool ChmArchive::contains(const QString &object) const
{
    if (!m_file)
        return false;
    chmUnitInfo ui;
    return chm_resolve_object(m_file, objectPath(object).constData(), &ui) == CHM_RESOLVE_SUCCESS;
}

QByteArray ChmArchive::read(const QString &object, bool *ok) const
{
    if (ok)
        *ok = false;
    if (!m_file)
        return {};
    chmUnitInfo ui;
    if (chm_resolve_object(m_file, objectPath(object).constData(), &ui) != CHM_RESOLVE_SUCCESS)
        return {};
    // The length comes from the file itself: a damaged file must not make us allocate gigabytes.
    if (ui.length > LONGUINT64(kMaxObjectSize))
        return {};
    QByteArray data(qsizetype(ui.length), Qt::Uninitialized);
    if (ui.length > 0) {
        LONGINT64 got = chm_retrieve_object(m_file, &ui, reinterpret_cast<unsigned char *>(data.data()), 0,
                                            LONGINT64(ui.length));
        if (got != LONGINT64(ui.length))
            return {};
    }
    if (ok)
        *ok = true;
    return data;
}

QString ChmArchive::defaultTopic() const
{
    // #SYSTEM: a 4-byte version, then records of code (16 bits), length (16 bits), data.
    bool ok = false;
    QByteArray sys = read(QStringLiteral("/#SYSTEM"), &ok);
    if (!ok)
        return {};
    qsizetype pos = 4;
    while (pos + 4 <= sys.size()) {
        auto byteAt = [&](qsizetype i) { return int(static_cast<unsigned char>(sys[i])); };
        int code = byteAt(pos) | (byteAt(pos + 1) << 8);
        int length = byteAt(pos + 2) | (byteAt(pos + 3) << 8);
        pos += 4;
        if (pos + length > sys.size())
            break;
        if (code == 2) {
            QByteArray topic = sys.mid(pos, length);
            int nul = topic.indexOf('\0');
            if (nul >= 0)
                topic.truncate(nul);
            QString t = QString::fromUtf8(topic);
            while (t.startsWith('/'))
                t.remove(0, 1);
            return t;
        }
        pos += length;
    }
    return {};
}

QStringList ChmArchive::pages() const
{
    QStringList list;
    if (m_file)
        chm_enumerate(m_file, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collectPage, &list);
    list.sort(Qt::CaseInsensitive);
    return list;
}
