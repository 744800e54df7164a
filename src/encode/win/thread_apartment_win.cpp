#include "encode/thread_apartment.h"

#include "core/win/com_apartment.h"

namespace halvex {

struct ThreadApartment::Native {
  ComApartment com;
};

ThreadApartment::ThreadApartment() : native_(std::make_unique<Native>()) {}

ThreadApartment::~ThreadApartment() = default;

}  // namespace halvex
