// What the kill tests share: memory a killed child leaves its progress in, and the kill itself.
#pragma once

#include <csignal>
#include <functional>
#include <new>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dalmure::test {

// A T in memory shared with the children forked after this call; never unmapped.
template <class T> T& sharedWithChildren() {
    void* p = ::mmap(nullptr, sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::runtime_error("mmap failed");
    return *new (p) T{};
}

// Forks a child that runs work (which never returns), kills it once wait returns; its status.
inline int killWhenWaited(const std::function<void()>& work, const std::function<void()>& wait) {
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        work();
        ::_exit(2);
    }
    wait();
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

} // namespace dalmure::test
