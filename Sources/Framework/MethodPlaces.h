// Where the framework keeps the objects of test methods: blocks of many
// places, reused once freed. Registering a method then costs no call to the
// allocator, whose slow path every one of thousands of unit tests loaded at
// once would otherwise take (a module's load and unload are the same
// thousands of allocations and frees in a row). The places are never given
// back: they serve the next load.
#pragma once

namespace Kalvoro {

// A place for one TUnitTestMethod; raises std::bad_alloc when there is none.
void* NewMethodPlace();
// Takes back a place that NewMethodPlace gave, whose object is destroyed.
void FreeMethodPlace(void* aPlace);

} // namespace Kalvoro
