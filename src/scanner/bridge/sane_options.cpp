// Setting and reading options by name, with values snapped to the device's
// constraint so a request the device cannot meet still lands on a legal value.
#include "scanner/bridge/sane_wrapper.h"

#include <cmath>
#include <cstring>
#include <vector>

SANE_Int FindOption(SaneDevice &dev, const char *name)
{
    SANE_Int count = 0;
    const SANE_Option_Descriptor *d0 = dev.getOptionDescriptor(0);
    if (!d0 || dev.controlOption(0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        return -1;
    for (SANE_Int i = 1; i < count && i < 10000; ++i) {
        const SANE_Option_Descriptor *d = dev.getOptionDescriptor(i);
        if (d && d->name && std::strcmp(d->name, name) == 0)
            return i;
    }
    return -1;
}

static bool singleNumber(const SANE_Option_Descriptor *d)
{
    return d && (d->type == SANE_TYPE_INT || d->type == SANE_TYPE_FIXED) && d->size == sizeof(SANE_Word);
}

bool ReadNumericOption(SaneDevice &dev, const char *name, double &value)
{
    SANE_Int i = FindOption(dev, name);
    if (i < 0)
        return false;
    const SANE_Option_Descriptor *d = dev.getOptionDescriptor(i);
    if (!singleNumber(d) || !SANE_OPTION_IS_ACTIVE(d->cap))
        return false;
    SANE_Word w = 0;
    if (dev.controlOption(i, SANE_ACTION_GET_VALUE, &w, nullptr) != SANE_STATUS_GOOD)
        return false;
    value = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w);
    return true;
}

SANE_Status SetNumericOption(SaneDevice &dev, const char *name, double value)
{
    SANE_Int i = FindOption(dev, name);
    if (i < 0)
        return SANE_STATUS_UNSUPPORTED;
    const SANE_Option_Descriptor *d = dev.getOptionDescriptor(i);
    if (!singleNumber(d) || !SANE_OPTION_IS_SETTABLE(d->cap) || !SANE_OPTION_IS_ACTIVE(d->cap))
        return SANE_STATUS_UNSUPPORTED;
    const bool fixed = d->type == SANE_TYPE_FIXED;
    auto toDouble = [fixed](SANE_Word w) { return fixed ? SANE_UNFIX(w) : double(w); };
    double chosen = value;
    if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
        const SANE_Range *r = d->constraint.range;
        double lo = toDouble(r->min), hi = toDouble(r->max), q = toDouble(r->quant);
        chosen = std::min(std::max(chosen, lo), hi);
        if (q > 0)
            chosen = std::min(hi, lo + std::round((chosen - lo) / q) * q);
    } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
        const SANE_Word *list = d->constraint.word_list;
        double best = 0, bestDist = -1;
        for (SANE_Word k = 1; k <= list[0]; ++k) {
            double v = toDouble(list[k]), dist = std::fabs(v - value);
            if (bestDist < 0 || dist < bestDist) {
                best = v;
                bestDist = dist;
            }
        }
        if (bestDist >= 0)
            chosen = best;
    }
    SANE_Word w = fixed ? SANE_FIX(chosen) : SANE_Word(std::lround(chosen));
    return dev.controlOption(i, SANE_ACTION_SET_VALUE, &w, nullptr);
}

SANE_Status SetStringOption(SaneDevice &dev, const char *name, const std::string &value)
{
    SANE_Int i = FindOption(dev, name);
    if (i < 0)
        return SANE_STATUS_UNSUPPORTED;
    const SANE_Option_Descriptor *d = dev.getOptionDescriptor(i);
    if (!d || d->type != SANE_TYPE_STRING || d->size <= 0)
        return SANE_STATUS_UNSUPPORTED;
    std::vector<char> buf(size_t(d->size), '\0');
    std::strncpy(buf.data(), value.c_str(), buf.size() - 1);
    return dev.controlOption(i, SANE_ACTION_SET_VALUE, buf.data(), nullptr);
}

SANE_Status SetBoolOption(SaneDevice &dev, const char *name, bool value)
{
    SANE_Int i = FindOption(dev, name);
    if (i < 0)
        return SANE_STATUS_UNSUPPORTED;
    const SANE_Option_Descriptor *d = dev.getOptionDescriptor(i);
    if (!d || d->type != SANE_TYPE_BOOL)
        return SANE_STATUS_UNSUPPORTED;
    SANE_Word w = value ? SANE_TRUE : SANE_FALSE;
    return dev.controlOption(i, SANE_ACTION_SET_VALUE, &w, nullptr);
}
