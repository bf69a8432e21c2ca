#pragma once
// Priorities of worker threads, lowest first, and the Linux nice values that stand in for
// them. One table for every worker of the program (conversion jobs and transfers alike).
// Plain C++: no Qt here.

namespace core {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// 19, 10, 5, 0, -5, -10, -20: idle and time-critical are the two ends of the nice range.
// Lowering a thread's priority is always allowed; raising it above normal needs
// CAP_SYS_NICE.
int NiceValueOf(TThreadPriority priority);
// The priority a nice value stands for; a value not in the table reads as tpNormal.
TThreadPriority PriorityOfNiceValue(int nice);
// Gives the thread with system thread id `tid` the nice value of `priority`; false when
// the system refused it.
bool ApplyThreadPriority(int tid, TThreadPriority priority);

}  // namespace core
