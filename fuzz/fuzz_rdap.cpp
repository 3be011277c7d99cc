// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/answer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    const sites::rdap::ParsedAnswer parsed = sites::rdap::parseDomainAnswer(json);
    // Either an answer or a reason, never both; no date outside what a registry could hold,
    // nor in the machine's zone.
    if (parsed.answer.has_value() == !parsed.error.isEmpty())
        __builtin_trap();
    if (parsed.answer) {
        for (const auto* when : {&parsed.answer->registered, &parsed.answer->expires,
                                 &parsed.answer->lastChanged})
            if (*when && ((*when)->date().year() < 1985 || (*when)->date().year() > 2200 ||
                          (*when)->timeSpec() != Qt::UTC))
                __builtin_trap();
        const std::optional<QDate> deleted = sites::rdap::estimatedDeletion(*parsed.answer);
        if (deleted && (!parsed.answer->lastChanged ||
                        parsed.answer->lastChanged->date().daysTo(*deleted) > 35))
            __builtin_trap();
    }
    return 0;
}
