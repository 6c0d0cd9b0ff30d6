#include "scanner/bridge/option_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include <cmath>
#include <vector>

QString UnitSuffix(SANE_Unit unit)
{
    switch (unit) {
    case SANE_UNIT_PIXEL: return QStringLiteral(" px");
    case SANE_UNIT_BIT: return QStringLiteral(" bit");
    case SANE_UNIT_MM: return QStringLiteral(" mm");
    case SANE_UNIT_DPI: return QStringLiteral(" dpi");
    case SANE_UNIT_PERCENT: return QStringLiteral(" %");
    case SANE_UNIT_MICROSECOND: return QStringLiteral(" µs");
    default: return {};
    }
}

namespace {

SANE_Int setValue(SaneDevice &dev, SANE_Int index, void *value, const OptionChanged &changed)
{
    SANE_Int info = 0;
    if (dev.controlOption(index, SANE_ACTION_SET_VALUE, value, &info) == SANE_STATUS_GOOD && changed)
        changed(info);
    return info;
}

class BoolOption : public QCheckBox {
public:
    BoolOption(SaneDevice &dev, SANE_Int i, const SANE_Option_Descriptor *d, OptionChanged changed, QWidget *parent)
        : QCheckBox(parent)
    {
        SANE_Word w = 0;
        dev.controlOption(i, SANE_ACTION_GET_VALUE, &w, nullptr);
        setChecked(w != SANE_FALSE);
        setEnabled(SANE_OPTION_IS_SETTABLE(d->cap));
        connect(this, &QCheckBox::toggled, [&dev, i, changed](bool on) {
            SANE_Word v = on ? SANE_TRUE : SANE_FALSE;
            setValue(dev, i, &v, changed);
        });
    }
};

// Int and fixed share one widget: a spin box for ranges and free values, a
// list for word lists. Fixed values are shown as decimals.
class NumberOption : public QWidget {
public:
    NumberOption(SaneDevice &dev, SANE_Int i, const SANE_Option_Descriptor *d, OptionChanged changed, QWidget *parent)
        : QWidget(parent)
    {
        const bool fixed = d->type == SANE_TYPE_FIXED;
        auto toD = [fixed](SANE_Word w) { return fixed ? SANE_UNFIX(w) : double(w); };
        auto toW = [fixed](double v) { return fixed ? SANE_FIX(v) : SANE_Word(std::lround(v)); };
        SANE_Word current = 0;
        dev.controlOption(i, SANE_ACTION_GET_VALUE, &current, nullptr);
        auto *row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        const QString suffix = UnitSuffix(d->unit);
        if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
            auto *combo = new QComboBox(this);
            const SANE_Word *list = d->constraint.word_list;
            for (SANE_Word k = 1; k <= list[0]; ++k) {
                combo->addItem(QString::number(toD(list[k])) + suffix, QVariant::fromValue<int>(list[k]));
                if (list[k] == current)
                    combo->setCurrentIndex(combo->count() - 1);
            }
            connect(combo, QOverload<int>::of(&QComboBox::activated), [&dev, i, changed, combo](int k) {
                SANE_Word v = combo->itemData(k).toInt();
                setValue(dev, i, &v, changed);
            });
            row->addWidget(combo);
        } else {
            auto *spin = new QDoubleSpinBox(this);
            spin->setDecimals(fixed ? 2 : 0);
            double lo = fixed ? -32768.0 : double(INT32_MIN), hi = fixed ? 32767.99 : double(INT32_MAX), step = 1;
            if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
                lo = toD(d->constraint.range->min);
                hi = toD(d->constraint.range->max);
                if (d->constraint.range->quant > 0)
                    step = toD(d->constraint.range->quant);
            }
            spin->setRange(lo, hi);
            spin->setSingleStep(step);
            spin->setSuffix(suffix);
            spin->setValue(toD(current));
            spin->setKeyboardTracking(false);
            connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged),
                    [&dev, i, changed, toW, toD, spin](double v) {
                        SANE_Word w = toW(v);
                        const SANE_Int info = setValue(dev, i, &w, changed);
                        if (info & SANE_INFO_INEXACT) {  // show what the device made of it
                            QSignalBlocker block(spin);
                            spin->setValue(toD(w));
                        }
                    });
            row->addWidget(spin);
        }
        setEnabled(SANE_OPTION_IS_SETTABLE(d->cap));
    }
};

class StringOption : public QWidget {
public:
    StringOption(SaneDevice &dev, SANE_Int i, const SANE_Option_Descriptor *d, OptionChanged changed, QWidget *parent)
        : QWidget(parent)
    {
        const size_t size = size_t(std::max<SANE_Int>(d->size, 1));
        std::vector<char> buf(size + 1, '\0');
        dev.controlOption(i, SANE_ACTION_GET_VALUE, buf.data(), nullptr);
        const QString current = QString::fromUtf8(buf.data());
        auto *row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        auto send = [&dev, i, changed, size](const QString &text) {
            std::vector<char> v(size, '\0');
            const QByteArray utf8 = text.toUtf8();
            std::copy_n(utf8.constData(), std::min(size_t(utf8.size()), size - 1), v.data());
            setValue(dev, i, v.data(), changed);
        };
        if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST && d->constraint.string_list) {
            auto *combo = new QComboBox(this);
            for (int k = 0; d->constraint.string_list[k]; ++k)
                combo->addItem(QString::fromUtf8(d->constraint.string_list[k]));
            combo->setCurrentText(current);
            connect(combo, &QComboBox::textActivated, send);
            row->addWidget(combo);
        } else {
            auto *edit = new QLineEdit(current, this);
            edit->setMaxLength(int(size) - 1);
            connect(edit, &QLineEdit::editingFinished, [edit, send] { send(edit->text()); });
            row->addWidget(edit);
        }
        setEnabled(SANE_OPTION_IS_SETTABLE(d->cap));
    }
};

class ButtonOption : public QPushButton {
public:
    ButtonOption(SaneDevice &dev, SANE_Int i, const SANE_Option_Descriptor *d, OptionChanged changed, QWidget *parent)
        : QPushButton(QString::fromUtf8(d->title ? d->title : ""), parent)
    {
        setEnabled(SANE_OPTION_IS_SETTABLE(d->cap));
        connect(this, &QPushButton::clicked, [&dev, i, changed] { setValue(dev, i, nullptr, changed); });
    }
};

} // namespace

QWidget *MakeOptionWidget(SaneDevice &dev, SANE_Int index, const OptionChanged &changed, QWidget *parent)
{
    const SANE_Option_Descriptor *d = dev.getOptionDescriptor(index);
    if (!d || !SANE_OPTION_IS_ACTIVE(d->cap))
        return nullptr;
    // Values the software cannot read are not shown; buttons have no value.
    if (d->type != SANE_TYPE_BUTTON && !(d->cap & SANE_CAP_SOFT_DETECT))
        return nullptr;
    QWidget *w = nullptr;
    switch (d->type) {
    case SANE_TYPE_BOOL:
        if (d->size == sizeof(SANE_Word))
            w = new BoolOption(dev, index, d, changed, parent);
        break;
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED:
        if (d->size == sizeof(SANE_Word))  // arrays such as gamma tables are left to the device
            w = new NumberOption(dev, index, d, changed, parent);
        break;
    case SANE_TYPE_STRING:
        w = new StringOption(dev, index, d, changed, parent);
        break;
    case SANE_TYPE_BUTTON:
        w = new ButtonOption(dev, index, d, changed, parent);
        break;
    default:
        break;
    }
    if (w) {
        w->setObjectName(QString::fromUtf8(d->name ? d->name : ""));
        w->setToolTip(QString::fromUtf8(d->desc ? d->desc : ""));
    }
    return w;
}
