#pragma once
// A thin seam over the sane_* calls, so the scanning logic can run against a
// scripted device in tests and against the virtual scanner in the same way.
#include <sane/sane.h>
#include <sane/saneopts.h>

// Statuses of newer backends that the installed header keeps hidden.
#ifndef SANE_STATUS_WARMING_UP
#define SANE_STATUS_WARMING_UP 12
#endif
#ifndef SANE_STATUS_HW_LOCKED
#define SANE_STATUS_HW_LOCKED 13
#endif

#include <memory>
#include <string>
#include <vector>

struct SaneDeviceInfo {
    std::string name, vendor, model, type;
};

// One open device; destroying it closes it.
class SaneDevice {
public:
    virtual ~SaneDevice() = default;
    virtual const SANE_Option_Descriptor *getOptionDescriptor(SANE_Int option) = 0;
    virtual SANE_Status controlOption(SANE_Int option, SANE_Action action, void *value, SANE_Int *info) = 0;
    virtual SANE_Status getParameters(SANE_Parameters *params) = 0;
    virtual SANE_Status start() = 0;
    virtual SANE_Status read(SANE_Byte *data, SANE_Int maxLength, SANE_Int *length) = 0;
    // May be called from another thread while read() runs.
    virtual void cancel() = 0;
    // Non-blocking reads and a descriptor to wait on (after start); many devices offer neither.
    virtual SANE_Status setIoMode(bool nonBlocking) { return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD; }
    virtual SANE_Status getSelectFd(int *fd)
    {
        *fd = -1;
        return SANE_STATUS_UNSUPPORTED;
    }
};

// The backend as a whole; destroying it ends the SANE session.
class SaneBackend {
public:
    virtual ~SaneBackend() = default;
    virtual SANE_Status init() = 0;
    virtual SANE_Status getDevices(std::vector<SaneDeviceInfo> &out) = 0;
    virtual SANE_Status open(const std::string &name, std::unique_ptr<SaneDevice> &out) = 0;
};

std::unique_ptr<SaneBackend> MakeRealSaneBackend();

// Option helpers over any device.
SANE_Int FindOption(SaneDevice &dev, const char *name);
// Reads a single int or fixed option as a number; false when absent or not numeric.
bool ReadNumericOption(SaneDevice &dev, const char *name, double &value);
// Sets a single int or fixed option to the allowed value nearest to `value`.
SANE_Status SetNumericOption(SaneDevice &dev, const char *name, double value);
SANE_Status SetStringOption(SaneDevice &dev, const char *name, const std::string &value);
SANE_Status SetBoolOption(SaneDevice &dev, const char *name, bool value);
