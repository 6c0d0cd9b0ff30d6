#include "dialogs/help_viewer.h"

#include "common/outside.h"
#include "dialogs/modal_companion.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QStringConverter>
#include <QStringDecoder>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

const QString kScheme = QStringLiteral("chm");

QString decodePage(const QByteArray &data)
{
    if (auto encoding = QStringConverter::encodingForHtml(data)) {
        QStringDecoder decoder(*encoding);
        return decoder(data);
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(data);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(data);
}

QPointer<HelpViewer> g_viewer;

}

ChmBrowser::ChmBrowser(QWidget *parent) : QTextBrowser(parent)
{
    // Links are followed here, so that pages of other sites go to the desktop's browser.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &ChmBrowser::followLink);
}

QUrl ChmBrowser::urlOf(const QString &topic)
{
    QString page = topic;
    QString anchor;
    int hash = page.indexOf('#');
    if (hash >= 0) {
        anchor = page.mid(hash + 1);
        page.truncate(hash);
    }
    while (page.startsWith('/'))
        page.remove(0, 1);
    QUrl url;
    url.setScheme(kScheme);
    url.setPath('/' + page);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    return url;
}

QVariant ChmBrowser::loadResource(int type, const QUrl &name)
{
    // Everything a page shows comes from its own help file, never from disk or elsewhere.
    if (name.scheme() != kScheme || !m_archive)
        return {};
    bool ok = false;
    QByteArray data = m_archive->read(name.path(), &ok);
    if (!ok)
        return {};
    if (type == QTextDocument::HtmlResource)
        return decodePage(data);
    if (type == QTextDocument::StyleSheetResource)
        return QString::fromUtf8(data);
    return data;
}

void ChmBrowser::followLink(const QUrl &link)
{
    QUrl target = source().resolved(link);
    if (target.scheme() == kScheme) {
        if (m_archive && m_archive->contains(target.path()))
            setSource(target);
        return;
    }
    if (target.scheme() == QLatin1String("http") || target.scheme() == QLatin1String("https") ||
        target.scheme() == QLatin1String("mailto"))
        outside().openWithDesktop(target.toString());
}

HelpViewer::HelpViewer(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("helpviewer"));
    setWindowTitle(QStringLiteral("KVNscan help"));
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(760, 640);

    m_browser = new ChmBrowser(this);
    m_browser->setArchive(&m_archive);
    m_back = new QPushButton(QStringLiteral("Terug"), this);
    m_forward = new QPushButton(QStringLiteral("Vooruit"), this);
    m_home = new QPushButton(QStringLiteral("Inhoud"), this);
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_back);
    buttons->addWidget(m_forward);
    buttons->addWidget(m_home);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser, 1);

    connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_home, &QPushButton::clicked, this, &HelpViewer::showStartPage);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        QString title = m_browser->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("KVNscan help")
                                       : QStringLiteral("KVNscan help - ") + title);
    });
}

void HelpViewer::keyPressEvent(QKeyEvent *e)
{
    // Escape closes the help as it closes every other window of the program.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

bool HelpViewer::openFile(const QString &helpFile)
{
    if (m_archive.isOpen() && m_archive.fileName() == helpFile)
        return true;
    m_browser->clearHistory();
    m_browser->clear();
    return m_archive.open(helpFile);
}

bool HelpViewer::showTopic(const QString &topic)
{
    if (!m_archive.isOpen())
        return false;
    QString page = topic;
    if (page.isEmpty())
        page = m_archive.defaultTopic();
    if (page.isEmpty()) {
        QStringList all = m_archive.pages();
        if (all.isEmpty())
            return false;
        page = all.first();
    }
    QUrl url = ChmBrowser::urlOf(page);
    if (!m_archive.contains(url.path()))
        return false;
    m_browser->setSource(url);
    return true;
}

QString HelpViewer::currentTopic() const
{
    QString path = m_browser->source().path();
    while (path.startsWith('/'))
        path.remove(0, 1);
    return path;
}

void HelpViewer::showStartPage()
{
    // Our own help file has a contents page; another one opens on its start page.
    if (!m_archive.contains(QStringLiteral("index.htm")) || !showTopic(QStringLiteral("index.htm")))
        showTopic({});
}

bool OpenHelpViewer(const QString &helpFile, const QString &topic)
{
    if (!g_viewer)
        g_viewer = new HelpViewer;
    KeepUsableBesideModal(g_viewer);
    if (!g_viewer->openFile(helpFile) || !g_viewer->showTopic(topic))
        return false;
    g_viewer->show();
    g_viewer->raise();
    g_viewer->activateWindow();
    return true;
}

HelpViewer *HelpViewerWindow() { return g_viewer; }
