#pragma once
// A scripted SANE device: frames of bytes delivered in chosen chunk sizes,
// with empty reads, failures at a chosen byte, warm-up at start, and options.
#include "scanner/bridge/sane_wrapper.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct FakeFrame {
    SANE_Parameters params{};
    std::vector<uint8_t> data;
    size_t chunk = 4096;               // most bytes per read
    int emptyReadsBetween = 0;         // zero-byte reads before each chunk
    size_t failAt = SIZE_MAX;          // byte after which reads fail
    SANE_Status failStatus = SANE_STATUS_IO_ERROR;
    bool endless = false;              // keeps delivering bytes past the data
    bool neverEnds = false;            // after the data, only zero-byte reads
};

struct FakeOption {
    SANE_Option_Descriptor desc{};
    std::vector<SANE_Word> words;      // int, fixed, bool values
    std::string text;                  // string value
    std::vector<SANE_String_Const> strings;  // string-list storage
    std::vector<SANE_Word> wordList;   // word-list storage
    SANE_Range range{};
    SANE_Int infoOnSet = 0;
    std::function<void()> onSet;       // side effects, e.g. making another option active

    FakeOption &withRange(SANE_Word min, SANE_Word max, SANE_Word quant)
    {
        range = {min, max, quant};
        desc.constraint_type = SANE_CONSTRAINT_RANGE;
        desc.constraint.range = &range;
        return *this;
    }
    FakeOption &withWordList(const std::vector<SANE_Word> &values)
    {
        wordList = {SANE_Word(values.size())};
        wordList.insert(wordList.end(), values.begin(), values.end());
        desc.constraint_type = SANE_CONSTRAINT_WORD_LIST;
        desc.constraint.word_list = wordList.data();
        return *this;
    }
};

class FakeDevice : public SaneDevice {
public:
    FakeDevice();
    ~FakeDevice() override;

    // Scripting.
    std::vector<FakeFrame> frames;
    std::vector<SANE_Status> startStatuses;  // returned by start() in turn before GOOD
    std::function<void(size_t delivered)> onRead;
    FakeOption &addInt(const char *name, SANE_Word value, SANE_Unit unit = SANE_UNIT_NONE);
    FakeOption &addFixed(const char *name, double value, SANE_Unit unit = SANE_UNIT_NONE);
    FakeOption &addBool(const char *name, bool value);
    FakeOption &addString(const char *name, const std::string &value, std::vector<SANE_String_Const> list = {});
    FakeOption &addButton(const char *name);
    FakeOption &addGroup(const char *title);
    FakeOption &option(const char *name);

    // What happened.
    std::vector<std::string> calls;
    std::atomic<int> cancels{0};
    bool *destroyed = nullptr;

    const SANE_Option_Descriptor *getOptionDescriptor(SANE_Int option) override;
    SANE_Status controlOption(SANE_Int option, SANE_Action action, void *value, SANE_Int *info) override;
    SANE_Status getParameters(SANE_Parameters *params) override;
    SANE_Status start() override;
    SANE_Status read(SANE_Byte *data, SANE_Int maxLength, SANE_Int *length) override;
    void cancel() override;

private:
    FakeOption &add(const char *name, SANE_Value_Type type, SANE_Int size);
    std::vector<std::unique_ptr<FakeOption>> m_options;
    std::vector<std::string> m_names;
    int m_frame = -1;
    size_t m_pos = 0;
    int m_empties = 0;
    size_t m_starts = 0;
    std::atomic<bool> m_cancelled{false};
};

// Waits (at most ten seconds) until no abandoned worker is still running.
void WaitForAbandonedWork();

class FakeBackend : public SaneBackend {
public:
    std::vector<SaneDeviceInfo> devices;
    SANE_Status devicesStatus = SANE_STATUS_GOOD;
    // Builds the device for a name; nullptr means sane_open fails with openStatus.
    std::function<std::unique_ptr<SaneDevice>(const std::string &)> make;
    SANE_Status openStatus = SANE_STATUS_INVAL;
    std::vector<std::string> opened;
    std::atomic<int> enumerations{0};  // counted on the search thread
    std::function<void()> beforeSearch;  // e.g. a search that hangs until released

    // A dialog closed before its search returned leaves the search running on
    // a thread of its own; the test's backend must not go away under it.
    ~FakeBackend() override { WaitForAbandonedWork(); }

    SANE_Status init() override { return SANE_STATUS_GOOD; }
    SANE_Status getDevices(std::vector<SaneDeviceInfo> &out) override
    {
        if (beforeSearch)
            beforeSearch();
        ++enumerations;
        out = devices;
        return devicesStatus;
    }
    SANE_Status open(const std::string &name, std::unique_ptr<SaneDevice> &out) override
    {
        opened.push_back(name);
        out = make ? make(name) : nullptr;
        return out ? SANE_STATUS_GOOD : openStatus;
    }
};

// A backend factory for the bridge that hands out `b` itself, which the test owns.
inline std::function<std::unique_ptr<SaneBackend>()> FactoryOf(FakeBackend &b)
{
    struct Ref : SaneBackend {
        FakeBackend &b;
        explicit Ref(FakeBackend &b) : b(b) {}
        SANE_Status init() override { return b.init(); }
        SANE_Status getDevices(std::vector<SaneDeviceInfo> &out) override { return b.getDevices(out); }
        SANE_Status open(const std::string &n, std::unique_ptr<SaneDevice> &out) override { return b.open(n, out); }
    };
    return [&b] { return std::make_unique<Ref>(b); };
}

// Parameters of a single-pass frame with whole lines.
SANE_Parameters Params(SANE_Frame format, int depth, int width, int lines, int padding = 0, bool last = true);
// A frame of `params` filled with bytes from `fill(i)`.
FakeFrame MakeFrame(const SANE_Parameters &p, const std::function<uint8_t(size_t)> &fill);

class QDialog;
class QString;
// Runs `act` on the dialog named `name` once it is shown.
void WhenShown(const QString &name, std::function<void(QDialog &)> act);
// Once the source dialog's search has ended: its status into shown, then act.
void WhenSearched(QString &shown, std::function<void(QDialog &)> act);
