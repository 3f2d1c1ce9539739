// The error trap every user-level operation runs under: a failure that the
// operation does not handle itself is shown as
// "in <operation>, err <number> (<description>)" and ends the operation;
// what was done before stays done. A copy the person cancelled ends it the
// same way, without a message: the person knows.
#pragma once

#include <exception>
#include <new>
#include <string>

#include "app/interaction.h"
#include "platform/errors.h"

namespace mabrel {

inline std::string errorMessage(const char* operation, int number, const std::string& description) {
    return std::string("in ") + operation + ", err " + std::to_string(number) + " (" + description + ")";
}

// Returns true when body ran to its end.
template <class Body>
bool runTrapped(Interaction& ui, const char* operation, Body&& body) {
    try {
        body();
        return true;
    } catch (const platform::PlatformError& e) {
        if (e.number() != platform::err::Cancelled) ui.messageBox(errorMessage(operation, e.number(), e.description()));
    } catch (const std::bad_alloc&) {
        ui.messageBox(errorMessage(operation, 7, "メモリが不足しています。"));
    } catch (const std::exception& e) {
        ui.messageBox(errorMessage(operation, 51, std::string("内部エラーです。") + e.what()));
    }
    return false;
}

}  // namespace mabrel
