#include <pthread.h>

#include "support/ThreadSlot.h"

namespace fi {

static_assert(sizeof(pthread_key_t) <= sizeof(std::uintptr_t));

TThreadSlot::TThreadSlot() {
    pthread_key_t NewKey;
    Created = pthread_key_create(&NewKey, nullptr) == 0;
    if (Created) Key = std::uintptr_t(NewKey);
}

TThreadSlot::~TThreadSlot() {
    if (Created) pthread_key_delete(pthread_key_t(Key));
}

void* TThreadSlot::Get() const { return Created ? pthread_getspecific(pthread_key_t(Key)) : nullptr; }

void TThreadSlot::Set(void* Value) const {
    if (Created) pthread_setspecific(pthread_key_t(Key), Value);
}

} // namespace fi
