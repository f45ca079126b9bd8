#include "platform/unique_fd.h"

#include <fcntl.h>
#include <gtest/gtest.h>

namespace quorvex {
namespace {

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, ClosesOnceAndPassesOwnershipOn) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  {
    TUniqueFd read(fds[0]);
    TUniqueFd write(fds[1]);
    TUniqueFd moved(std::move(read));
    EXPECT_FALSE(read.valid());
    EXPECT_EQ(moved.get(), fds[0]);
    write = std::move(moved);  // closes the write end it held
    EXPECT_FALSE(isOpen(fds[1]));
    EXPECT_TRUE(isOpen(fds[0]));
    EXPECT_EQ(write.close(), 0);
    EXPECT_FALSE(write.valid());
    EXPECT_EQ(write.close(), 0);  // nothing left to close
  }
  EXPECT_FALSE(isOpen(fds[0]));
}

TEST(UniqueFd, CloseReportsTheError) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  ::close(fds[1]);
  TUniqueFd stale(fds[1]);  // already closed behind its back
  EXPECT_EQ(stale.close(), EBADF);
  ::close(fds[0]);
}

}  // namespace
}  // namespace quorvex
