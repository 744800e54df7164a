#include "encode/thread_apartment.h"

namespace halvex {

// Nothing to set up: libavcodec needs no per-thread initialisation.
struct ThreadApartment::Native {};

ThreadApartment::ThreadApartment() = default;
ThreadApartment::~ThreadApartment() = default;

}  // namespace halvex
