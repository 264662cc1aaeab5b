// The flag word of the print dialog, one named property per bit.
#pragma once

#include <cstdint>

class clsPrintDlgFlags {
public:
    clsPrintDlgFlags() = default;
    explicit clsPrintDlgFlags(uint32_t value) : value_(value) {}

    uint32_t Value() const { return value_; }
    void setValue(uint32_t v) { value_ = v; }

#define RINGPOST_PRINT_FLAG(name, bit)                            \
    static constexpr uint32_t k##name = 1u << (bit);                \
    bool name() const { return (value_ & k##name) != 0; }           \
    void set##name(bool on) { value_ = on ? (value_ | k##name) : (value_ & ~k##name); }

    RINGPOST_PRINT_FLAG(Selection, 0)
    RINGPOST_PRINT_FLAG(PageNums, 1)
    RINGPOST_PRINT_FLAG(NoSelection, 2)
    RINGPOST_PRINT_FLAG(NoPageNums, 3)
    RINGPOST_PRINT_FLAG(Collate, 4)
    RINGPOST_PRINT_FLAG(PrintToFile, 5)
    RINGPOST_PRINT_FLAG(PrintSetup, 6)
    RINGPOST_PRINT_FLAG(NoWarning, 7)
    RINGPOST_PRINT_FLAG(ReturnDC, 8)
    RINGPOST_PRINT_FLAG(ReturnIC, 9)
    RINGPOST_PRINT_FLAG(ReturnDefault, 10)
    RINGPOST_PRINT_FLAG(ShowHelp, 11)
    RINGPOST_PRINT_FLAG(EnablePrintHook, 12)
    RINGPOST_PRINT_FLAG(EnableSetupHook, 13)
    RINGPOST_PRINT_FLAG(EnablePrintTemplate, 14)
    RINGPOST_PRINT_FLAG(EnableSetupTemplate, 15)
    RINGPOST_PRINT_FLAG(EnablePrintTemplateHandle, 16)
    RINGPOST_PRINT_FLAG(EnableSetupTemplateHandle, 17)
    RINGPOST_PRINT_FLAG(UseDEVMODECopies, 18)
    RINGPOST_PRINT_FLAG(DisablePrintToFile, 19)
    RINGPOST_PRINT_FLAG(HidePrintToFile, 20)
    RINGPOST_PRINT_FLAG(NoNetworkButton, 21)
    // The published flag of the same bit under its other name.
    RINGPOST_PRINT_FLAG(UseDEVMODECopiesAndCollate, 18)
#undef RINGPOST_PRINT_FLAG

private:
    uint32_t value_ = 0;
};
