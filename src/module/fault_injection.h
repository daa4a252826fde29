// Failures the tests can inject into a module process, armed once at import
// by the environment variable VL5_INJECT_FAULT. Unarmed, each check is one
// load of a flag.
//   allocation     every C++ allocation of the module throws std::bad_alloc
//                  (Linux, where the module's allocation functions are its own)
//   result_types   building the result types fails with MemoryError
//   record_dtypes  building the record dtypes fails with MemoryError
#pragma once

namespace vl5::py {

enum class Fault { kNone, kAllocation, kResultTypes, kRecordDtypes };

// Reads VL5_INJECT_FAULT; an unknown value arms nothing.
void ArmFaultFromEnvironment();
bool FaultArmed(Fault fault);

}  // namespace vl5::py
