#include "wiener/EngineChoice.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace fi {

namespace {
TEngine FromEnvironment() {
    const char* Value = std::getenv("FI_ENGINE");
    return Value != nullptr && std::strcmp(Value, "reference") == 0 ? TEngine::Reference : TEngine::Fast;
}

std::atomic<TEngine>& Choice() {
    static std::atomic<TEngine> Engine{FromEnvironment()};
    return Engine;
}
} // namespace

TEngine SelectedEngine() { return Choice().load(); }

void SelectEngine(TEngine Engine) { Choice().store(Engine); }

} // namespace fi
