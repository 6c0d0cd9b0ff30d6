#include "fake_sane.h"
#include "scanner/bridge/worker_thread.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>

SANE_Parameters Params(SANE_Frame format, int depth, int width, int lines, int padding, bool last)
{
    SANE_Parameters p{};
    p.format = format;
    p.depth = depth;
    p.pixels_per_line = width;
    p.lines = lines;
    p.last_frame = last ? SANE_TRUE : SANE_FALSE;
    const int channels = format == SANE_FRAME_RGB ? 3 : 1;
    const int64_t bytes = (int64_t(width) * channels * depth + 7) / 8 + padding;
    p.bytes_per_line = SANE_Int(std::min<int64_t>(bytes, INT32_MAX));
    return p;
}

FakeFrame MakeFrame(const SANE_Parameters &p, const std::function<uint8_t(size_t)> &fill)
{
    FakeFrame f;
    f.params = p;
    f.data.resize(size_t(p.bytes_per_line) * size_t(std::max(p.lines, 0)));
    for (size_t i = 0; i < f.data.size(); ++i)
        f.data[i] = fill(i);
    return f;
}

FakeDevice::FakeDevice()
{
    auto &count = add(SANE_NAME_NUM_OPTIONS, SANE_TYPE_INT, sizeof(SANE_Word));
    count.desc.cap = SANE_CAP_SOFT_DETECT;
    count.words = {1};
}

FakeDevice::~FakeDevice()
{
    if (destroyed)
        *destroyed = true;
}

FakeOption &FakeDevice::add(const char *name, SANE_Value_Type type, SANE_Int size)
{
    m_names.emplace_back(name);
    auto o = std::make_unique<FakeOption>();
    o->desc.name = nullptr;
    o->desc.title = nullptr;
    o->desc.desc = "";
    o->desc.type = type;
    o->desc.size = size;
    o->desc.cap = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT;
    m_options.push_back(std::move(o));
    for (size_t i = 0; i < m_options.size(); ++i) {  // names may have moved
        m_options[i]->desc.name = m_names[i].c_str();
        m_options[i]->desc.title = m_names[i].c_str();
    }
    m_options[0]->words = {SANE_Word(m_options.size())};
    return *m_options.back();
}

FakeOption &FakeDevice::addInt(const char *name, SANE_Word value, SANE_Unit unit)
{
    auto &o = add(name, SANE_TYPE_INT, sizeof(SANE_Word));
    o.desc.unit = unit;
    o.words = {value};
    return o;
}

FakeOption &FakeDevice::addFixed(const char *name, double value, SANE_Unit unit)
{
    auto &o = add(name, SANE_TYPE_FIXED, sizeof(SANE_Word));
    o.desc.unit = unit;
    o.words = {SANE_FIX(value)};
    return o;
}

FakeOption &FakeDevice::addBool(const char *name, bool value)
{
    auto &o = add(name, SANE_TYPE_BOOL, sizeof(SANE_Word));
    o.words = {value ? SANE_TRUE : SANE_FALSE};
    return o;
}

FakeOption &FakeDevice::addString(const char *name, const std::string &value, std::vector<SANE_String_Const> list)
{
    auto &o = add(name, SANE_TYPE_STRING, 32);
    o.text = value;
    if (!list.empty()) {
        o.strings = std::move(list);
        o.strings.push_back(nullptr);
        o.desc.constraint_type = SANE_CONSTRAINT_STRING_LIST;
        o.desc.constraint.string_list = o.strings.data();
    }
    return o;
}

FakeOption &FakeDevice::addButton(const char *name)
{
    auto &o = add(name, SANE_TYPE_BUTTON, 0);
    o.desc.cap = SANE_CAP_SOFT_SELECT;
    return o;
}

FakeOption &FakeDevice::addGroup(const char *title)
{
    auto &o = add(title, SANE_TYPE_GROUP, 0);
    o.desc.cap = 0;
    return o;
}

FakeOption &FakeDevice::option(const char *name)
{
    for (size_t i = 0; i < m_names.size(); ++i)
        if (m_names[i] == name)
            return *m_options[i];
    throw std::runtime_error("no option " + std::string(name));
}

const SANE_Option_Descriptor *FakeDevice::getOptionDescriptor(SANE_Int option)
{
    if (option < 0 || size_t(option) >= m_options.size())
        return nullptr;
    return &m_options[size_t(option)]->desc;
}

SANE_Status FakeDevice::controlOption(SANE_Int option, SANE_Action action, void *value, SANE_Int *info)
{
    if (info)
        *info = 0;
    if (option < 0 || size_t(option) >= m_options.size())
        return SANE_STATUS_INVAL;
    FakeOption &o = *m_options[size_t(option)];
    calls.push_back((action == SANE_ACTION_GET_VALUE ? "get " : "set ") + m_names[size_t(option)]);
    if (action == SANE_ACTION_GET_VALUE) {
        if (o.desc.type == SANE_TYPE_STRING)
            std::strncpy(static_cast<char *>(value), o.text.c_str(), size_t(o.desc.size));
        else if (!o.words.empty())
            std::memcpy(value, o.words.data(), o.words.size() * sizeof(SANE_Word));
        return SANE_STATUS_GOOD;
    }
    if (action != SANE_ACTION_SET_VALUE || !SANE_OPTION_IS_SETTABLE(o.desc.cap))
        return SANE_STATUS_INVAL;
    if (o.desc.type == SANE_TYPE_STRING)
        o.text = static_cast<const char *>(value);
    else if (o.desc.type != SANE_TYPE_BUTTON)
        std::memcpy(o.words.data(), value, o.words.size() * sizeof(SANE_Word));
    calls.back() += o.desc.type == SANE_TYPE_STRING ? " " + o.text
                  : o.words.empty() ? std::string() : " " + std::to_string(o.words[0]);
    if (o.onSet)
        o.onSet();
    if (info)
        *info = o.infoOnSet;
    return SANE_STATUS_GOOD;
}

SANE_Status FakeDevice::getParameters(SANE_Parameters *params)
{
    const int i = std::max(0, std::min(m_frame, int(frames.size()) - 1));
    if (frames.empty())
        return SANE_STATUS_INVAL;
    *params = frames[size_t(i)].params;
    return SANE_STATUS_GOOD;
}

SANE_Status FakeDevice::start()
{
    calls.push_back("start");
    if (m_starts < startStatuses.size())
        return startStatuses[m_starts++];
    m_cancelled = false;
    ++m_frame;
    m_pos = 0;
    m_empties = 0;
    if (m_frame >= int(frames.size()))
        return SANE_STATUS_NO_DOCS;
    return SANE_STATUS_GOOD;
}

SANE_Status FakeDevice::read(SANE_Byte *data, SANE_Int maxLength, SANE_Int *length)
{
    *length = 0;
    if (m_cancelled)
        return SANE_STATUS_CANCELLED;
    if (m_frame < 0 || m_frame >= int(frames.size()))
        return SANE_STATUS_INVAL;
    FakeFrame &f = frames[size_t(m_frame)];
    if (onRead)
        onRead(m_pos);
    if (m_cancelled)
        return SANE_STATUS_CANCELLED;
    if (m_pos >= f.failAt)
        return f.failStatus;
    if (m_empties < f.emptyReadsBetween) {
        ++m_empties;
        return SANE_STATUS_GOOD;
    }
    m_empties = 0;
    if (m_pos >= f.data.size() && !f.endless) {
        if (f.neverEnds)
            return SANE_STATUS_GOOD;
        return SANE_STATUS_EOF;
    }
    size_t n = std::min({size_t(maxLength), f.chunk, f.failAt - m_pos});
    if (!f.endless)
        n = std::min(n, f.data.size() - m_pos);
    for (size_t k = 0; k < n; ++k)
        data[k] = m_pos + k < f.data.size() ? f.data[m_pos + k] : 0x5A;
    m_pos += n;
    *length = SANE_Int(n);
    return SANE_STATUS_GOOD;
}

void FakeDevice::cancel()
{
    ++cancels;
    m_cancelled = true;
}

// Runs `act` on the dialog named `name` once it is shown.
void WhenShown(const QString &name, std::function<void(QDialog &)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, name, act] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QDialog *>(w); d && d->objectName() == name && d->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(*d);
                return;
            }
    });
    timer->start();
}

void WhenSearched(QString &shown, std::function<void(QDialog &)> act)
{
    WhenShown("sourceDialog", [&shown, act](QDialog &d) {
        auto *status = d.findChild<QLabel *>("searchStatus");
        auto *wait = new QTimer(&d);
        QObject::connect(wait, &QTimer::timeout, [&shown, act, status, wait, dlg = &d] {
            if (status->text() != QStringLiteral("Scanners zoeken…")) {
                wait->stop();
                shown = status->text();
                act(*dlg);
            }
        });
        wait->start(5);
    });
}

void WaitForAbandonedWork()
{
    for (int i = 0; i < 10000 && WorkerThread::abandonedRunning() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
