#include "app/launcher.h"

#include "common/filez.h"
#include "common/settings_list.h"
#include "scanwindow/file_naming.h"
#include "scanwindow/scanform.h"
#include "ui_scanform.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <exception>

QString DefaultFileName(const QString &) { return QStringLiteral("document"); }

bool AfterSave(const QString &, const QString &, bool) { return true; }

TForm1::TForm1(TScanform *scanform, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_scanform(scanform)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("KVN Scan"));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    setFont(f);
    setGeometry(425, 514, 169, 67);
    // It is shown, so that its first showing runs the scan window, but never
    // reaches the screen: no empty box on the desktop, nothing in task lists.
    setAttribute(Qt::WA_DontShowOnScreen);
}

void TForm1::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    // Without a window manager a window may never be activated: the first
    // showing counts as the first activation too.
    if (!m_activated)
        QTimer::singleShot(0, this, [this] { FormActivate(); });
}

bool TForm1::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate && !m_activated)
        QTimer::singleShot(0, this, [this] { FormActivate(); });
    return QWidget::event(e);
}

namespace {
void dressLink(QLabel *label, const QString &address)
{
    label->setVisible(true);
    label->setText(address);
    QFont f = label->font();
    f.setBold(true);
    f.setUnderline(true);
    f.setPointSize(12);
    label->setFont(f);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(p);
    label->setCursor(Qt::PointingHandCursor);
}
}

void TForm1::FormActivate()
{
    if (m_activated)
        return;
    m_activated = true;

    SettingsList settings;
    if (QFileInfo::exists(SettingsFileName()))
        settings.loadFromFile(SettingsFileName());
    try {
        TScanform &f = *m_scanform;
        f.controls().scanachterkant->setVisible(true);
        f.controls().bidprentmode->setVisible(true);
        f.setWindowTitle(QStringLiteral("Vexlo Scan Tool 4.2"));
        ProductTitle = QStringLiteral("Vexlo Scan Tool");

        dressLink(f.controls().gebruikersinfo, kProductWebAddress);
        f.controls().gebruikersinfo->setToolTip(QStringLiteral("Zie de website van Vexlo"));
        f.setProductLinkAction([this] { FormClick(); });
        dressLink(f.controls().lbDravemont, kMakerWebAddress);
        f.anchorLinks();

        PreviewFilePath = TempFolder() + QStringLiteral("preview.bmp");
        f.Execute(DefaultFileName, NextFileName, AfterSave, QString(), QString(), 90, &settings, true);
        SaveSettingsAtEnd(settings);
    } catch (const std::exception &e) {
        qWarning("KVNscan: %s", e.what());
    } catch (...) {
        qWarning("KVNscan: the scan window ended with an error");
    }
    // The program lives exactly as long as this one run.
    close();
    QCoreApplication::quit();
}

void TForm1::FormClick()
{
    ShellOpen(kProductWebAddress, QString(), QStringLiteral("open"));
}
