#include "console/Interrupt.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

TEST(Interrupt, TheFirstSignalSetsTheFlagTheSecondEndsTheProcess) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        VaultConsole::installInterruptHandlers();
        if (VaultConsole::interrupted()) ::_exit(10);
        ::raise(SIGINT);
        if (!VaultConsole::interrupted()) ::_exit(11);
        ::raise(SIGTERM);  // a second one: default action
        ::_exit(12);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
}
