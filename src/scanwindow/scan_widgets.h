#pragma once
// Small controls of the scan window that Qt has no exact match for.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QFrame>
#include <QGroupBox>

// A spin edit that keeps whatever text it is given ("abc" stays "abc");
// the arrows step from the number in the text, or from the minimum.
// Minimum and maximum both 0 means no limits.
class TextSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit TextSpinEdit(QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    int singleStep() const { return m_step; }
    void setMinimum(int v) { m_min = v; }
    void setMaximum(int v) { m_max = v; }
    void setSingleStep(int v) { m_step = v; }
    // The number in the text, the minimum when there is none.
    int value() const;
    // value() held to the limits; a spin edit whose limits are both 0 has none.
    int limitedValue() const;

    void stepBy(int steps) override;

signals:
    void textChanged(const QString &text);
    // An arrow was used (the up/down click of the control).
    void stepped();

protected:
    StepEnabled stepEnabled() const override;

private:
    qint64 bounded(qint64 v) const;
    int m_min = 0, m_max = 0, m_step = 1;
};

// Fits a button's caption into its fixed size: a smaller font down to a
// readable least (when shrink), and what still does not fit is given whole in
// the tooltip. A check box counts the room beside its box.
void FitCaption(QAbstractButton *button, bool shrink = true);

// A coloured panel holding a platform colour value (blue*65536 + green*256 + red).
class ColourPanel : public QFrame {
    Q_OBJECT
public:
    explicit ColourPanel(QWidget *parent = nullptr);

    int colour() const { return m_colour; }
    void setColour(int colour);

    static QColor toQColor(int colour);
    static int fromQColor(const QColor &c);

signals:
    void clicked();
    void popupRequested(const QPoint &globalPos);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;

private:
    int m_colour = 0xFFFFFF;
};

// A group box whose radio buttons (its direct children, in order) form one choice.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit RadioGroup(QWidget *parent = nullptr);

    int itemIndex() const;      // -1 when none is checked
    void setItemIndex(int index);
    int count() const;
    // Connects the radio buttons present now; call once they are all added.
    void bindButtons();

signals:
    // The checked item changed (by the user or by setItemIndex).
    void itemIndexChanged(int index);

private:
    QList<class QRadioButton *> buttons() const;
    bool m_bound = false;
};
