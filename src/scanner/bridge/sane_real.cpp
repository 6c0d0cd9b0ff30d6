// The sane_* calls of the installed SANE library.
#include "scanner/bridge/sane_wrapper.h"

#include <csignal>
#include <mutex>

namespace {

class RealDevice : public SaneDevice {
public:
    explicit RealDevice(SANE_Handle h) : m_h(h) {}
    ~RealDevice() override { sane_close(m_h); }
    const SANE_Option_Descriptor *getOptionDescriptor(SANE_Int option) override
    {
        return sane_get_option_descriptor(m_h, option);
    }
    SANE_Status controlOption(SANE_Int option, SANE_Action action, void *value, SANE_Int *info) override
    {
        return sane_control_option(m_h, option, action, value, info);
    }
    SANE_Status getParameters(SANE_Parameters *params) override { return sane_get_parameters(m_h, params); }
    SANE_Status start() override { return sane_start(m_h); }
    SANE_Status read(SANE_Byte *data, SANE_Int maxLength, SANE_Int *length) override
    {
        return sane_read(m_h, data, maxLength, length);
    }
    void cancel() override { sane_cancel(m_h); }
    SANE_Status setIoMode(bool nonBlocking) override { return sane_set_io_mode(m_h, nonBlocking ? SANE_TRUE : SANE_FALSE); }
    SANE_Status getSelectFd(int *fd) override { return sane_get_select_fd(m_h, fd); }

private:
    SANE_Handle m_h;
};

class RealBackend : public SaneBackend {
public:
    ~RealBackend() override
    {
        if (m_initialised)
            sane_exit();
    }
    SANE_Status init() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_initialised)
            return SANE_STATUS_GOOD;
        // A network scanner whose server died is written to on a closed
        // connection; that must fail the call, not end the program.
        struct sigaction old {};
        if (sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
            std::signal(SIGPIPE, SIG_IGN);
        SANE_Int version = 0;
        SANE_Status s = sane_init(&version, nullptr);
        m_initialised = (s == SANE_STATUS_GOOD);
        return s;
    }
    SANE_Status getDevices(std::vector<SaneDeviceInfo> &out) override
    {
        out.clear();
        SANE_Status s = init();
        if (s != SANE_STATUS_GOOD)
            return s;
        const SANE_Device **list = nullptr;
        s = sane_get_devices(&list, SANE_FALSE);
        if (s != SANE_STATUS_GOOD || !list)
            return s;
        for (int i = 0; list[i]; ++i) {
            auto str = [](const char *p) { return std::string(p ? p : ""); };
            out.push_back({str(list[i]->name), str(list[i]->vendor), str(list[i]->model), str(list[i]->type)});
        }
        return SANE_STATUS_GOOD;
    }
    SANE_Status open(const std::string &name, std::unique_ptr<SaneDevice> &out) override
    {
        SANE_Status s = init();
        if (s != SANE_STATUS_GOOD)
            return s;
        SANE_Handle h = nullptr;
        s = sane_open(name.c_str(), &h);
        if (s == SANE_STATUS_GOOD)
            out = std::make_unique<RealDevice>(h);
        return s;
    }

private:
    std::mutex m_mutex;
    bool m_initialised = false;
};

} // namespace

std::unique_ptr<SaneBackend> MakeRealSaneBackend() { return std::make_unique<RealBackend>(); }
