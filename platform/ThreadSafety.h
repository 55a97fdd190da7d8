#pragma once

// Lock contracts that clang checks at compile time (-Wthread-safety): which lock guards a
// member, which functions take, leave or need a lock. Other compilers read them as nothing.
#if defined(__clang__)
#define QUILLBOX_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define QUILLBOX_THREAD_ATTRIBUTE(x)
#endif

// A class whose objects are locks.
#define CAPABILITY(name) QUILLBOX_THREAD_ATTRIBUTE(capability(name))
// A class that holds a lock from its construction to its end.
#define SCOPED_CAPABILITY QUILLBOX_THREAD_ATTRIBUTE(scoped_lockable)
// A member read and written only with the lock held.
#define GUARDED_BY(lock) QUILLBOX_THREAD_ATTRIBUTE(guarded_by(lock))
// A function that the caller must call with the lock held.
#define REQUIRES(...) QUILLBOX_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
// A function that takes the lock, or leaves it.
#define ACQUIRE(...) QUILLBOX_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QUILLBOX_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
// A function the check does not look into, for code it cannot follow (a lock handed on
// to a function passed in).
#define NO_THREAD_SAFETY_ANALYSIS QUILLBOX_THREAD_ATTRIBUTE(no_thread_safety_analysis)
