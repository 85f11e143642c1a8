// The lock that keeps an interruption, which Win32 delivers on a thread of
// its own, from rewriting a file while the program's thread writes to it.
#ifndef QORTA_PLATFORM_WIN32_WRITE_LOCK_WIN32_H
#define QORTA_PLATFORM_WIN32_WRITE_LOCK_WIN32_H

namespace platform {

// Sets the lock up; until then the two calls below do nothing. Called once,
// before the program has threads besides its own.
void enableWriteLock();

// Holds and releases the lock; a thread may hold it more than once.
void lockWrites();
void unlockWrites();

// Holds the lock if it comes free within about `milliseconds`; returns
// false, not holding it, otherwise (a write that blocks, to a pipe nobody
// reads). True while the lock is not set up.
bool tryLockWrites(unsigned milliseconds);

}  // namespace platform

#endif
