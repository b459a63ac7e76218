#pragma once
// Which implementation of the passes runs. The fast one gives the reference's
// doubles bit for bit; the reference, written operation for operation as the
// design states it, stays selectable as the oracle of tests and benchmarks.
// The environment variable FI_ENGINE=reference selects it for a whole program.

namespace fi {

enum class TEngine { Fast, Reference };

TEngine SelectedEngine();
void SelectEngine(TEngine Engine);

// Selects an engine for the life of the scope, then restores the previous one.
class TEngineScope {
public:
    explicit TEngineScope(TEngine Engine) : Previous(SelectedEngine()) { SelectEngine(Engine); }
    ~TEngineScope() { SelectEngine(Previous); }
    TEngineScope(const TEngineScope&) = delete;
    TEngineScope& operator=(const TEngineScope&) = delete;

private:
    TEngine Previous;
};

} // namespace fi
