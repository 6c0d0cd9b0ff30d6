#include "scanwindow/scan_widgets.h"

#include "common/filez.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QRadioButton>
#include <QStyle>

// ---------------------------------------------------------------- FitCaption

void FitCaption(QAbstractButton *button, bool shrink)
{
    if (!button)
        return;
    QString text = button->text();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    const QStringList lines = text.split(QLatin1Char('\n'));
    const QStyle *style = button->style();
    const bool box = qobject_cast<QCheckBox *>(button) != nullptr;
    const int frame = box ? 0 : style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    const int inside = box ? style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, button)
                                 + style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, button)
                           : style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) + 2 * frame;
    const int width = button->width() - inside;
    const int height = button->height() - 2 * frame;
    const QFont base = button->parentWidget() ? button->parentWidget()->font() : button->font();
    QFont font = base;
    const qreal least = 6;
    bool fits = false;
    // A font sized in pixels is only measured.
    for (qreal size = base.pointSizeF();; size -= 0.5) {
        if (size > 0)
            font.setPointSizeF(size);
        const QFontMetrics fm(font);
        fits = int(lines.size()) * fm.lineSpacing() <= height;
        for (const QString &line : lines)
            fits = fits && fm.horizontalAdvance(line) <= width;
        if (fits || !shrink || size - 0.5 < least)
            break;
    }
    if (font != button->font())
        button->setFont(font);
    button->setToolTip(fits ? QString() : lines.join(QLatin1Char(' ')).simplified());
}

// ---------------------------------------------------------------- TextSpinEdit

TextSpinEdit::TextSpinEdit(QWidget *parent) : QAbstractSpinBox(parent)
{
    connect(lineEdit(), &QLineEdit::textChanged, this, &TextSpinEdit::textChanged);
}

QString TextSpinEdit::text() const { return lineEdit()->text(); }

void TextSpinEdit::setText(const QString &text)
{
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
}

int TextSpinEdit::value() const
{
    bool ok = false;
    int v = text().trimmed().toInt(&ok);
    return ok ? v : m_min;
}

int TextSpinEdit::limitedValue() const
{
    return int(bounded(value()));
}

qint64 TextSpinEdit::bounded(qint64 v) const
{
    return m_min != 0 || m_max != 0 ? qBound(qint64(m_min), v, qint64(m_max)) : v;
}

void TextSpinEdit::stepBy(int steps)
{
    const qint64 v = bounded(qint64(value()) + qint64(steps) * m_step);
    setText(QString::number(v));
    emit stepped();
}

QAbstractSpinBox::StepEnabled TextSpinEdit::stepEnabled() const
{
    return StepUpEnabled | StepDownEnabled;
}

// ---------------------------------------------------------------- ColourPanel

ColourPanel::ColourPanel(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
}

void ColourPanel::setColour(int colour)
{
    m_colour = colour;
    update();
}

QColor ColourPanel::toQColor(int colour)
{
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

int ColourPanel::fromQColor(const QColor &c)
{
    return c.blue() * 65536 + c.green() * 256 + c.red();
}

void ColourPanel::paintEvent(QPaintEvent *e)
{
    {
        QPainter p(this);
        p.fillRect(rect(), toQColor(m_colour));
    }
    QFrame::paintEvent(e);
}

void ColourPanel::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
    QFrame::mouseReleaseEvent(e);
}

void ColourPanel::contextMenuEvent(QContextMenuEvent *e)
{
    emit popupRequested(e->globalPos());
    e->accept();
}

// ---------------------------------------------------------------- RadioGroup

RadioGroup::RadioGroup(QWidget *parent) : QGroupBox(parent) {}

QList<QRadioButton *> RadioGroup::buttons() const
{
    return findChildren<QRadioButton *>(QString(), Qt::FindDirectChildrenOnly);
}

int RadioGroup::count() const { return int(buttons().size()); }

int RadioGroup::itemIndex() const
{
    const auto list = buttons();
    for (int i = 0; i < list.size(); ++i)
        if (list[i]->isChecked())
            return i;
    return -1;
}

void RadioGroup::setItemIndex(int index)
{
    const auto list = buttons();
    if (index >= 0 && index < list.size()) {
        list[index]->setChecked(true);
        return;
    }
    // Out of range: nothing checked, as an index of -1 means.
    const bool wasChecked = itemIndex() >= 0;
    for (QRadioButton *b : list) {
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
    }
    if (wasChecked)
        emit itemIndexChanged(-1);
}

void RadioGroup::bindButtons()
{
    if (m_bound)
        return;
    m_bound = true;
    for (QRadioButton *b : buttons()) {
        // Only the button that becomes checked reports, so one change is one signal.
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                emit itemIndexChanged(itemIndex());
        });
    }
}
