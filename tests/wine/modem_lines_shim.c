/* Preloaded into wine for the Windows tests. A pseudo-terminal refuses the
 * modem-line ioctls, so wine fails GetCommModemStatus and ends every pending
 * WaitCommEvent at once, and a port's reader would spin. This answers them
 * for ttys that refuse them (a device that is gone still fails): DTR and RTS
 * as last set, CTS, DSR and carrier on. The lines never change, so a wait
 * for a change ends only by a signal (wine 8 polls instead). Every other
 * ioctl goes through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

static ioctl_fn real_ioctl;
/* wine's 32-bit side calls glibc's 64-bit-time entry point instead. */
static ioctl_fn real_ioctl_time64;
static pthread_once_t once = PTHREAD_ONCE_INIT;
/* One set of lines for all ttys: the tests open one port at a time. */
static int lines = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;

static void init(void) {
  real_ioctl = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
  real_ioctl_time64 = (ioctl_fn)dlsym(RTLD_NEXT, "__ioctl_time64");
}

static int is_modem_request(unsigned long request) {
  return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
         request == TIOCMBIC || request == TIOCMIWAIT;
}

static int answer(unsigned long request, void* arg) {
  if (request == TIOCMIWAIT) {
    /* Nothing changes the input lines: the wait ends only by a signal. */
    pause();
    errno = EINTR;
    return -1;
  }
  pthread_mutex_lock(&mutex);
  switch (request) {
    case TIOCMGET:
      *(int*)arg = lines;
      break;
    case TIOCMSET:
      lines = (*(int*)arg & (TIOCM_DTR | TIOCM_RTS)) |
              (lines & ~(TIOCM_DTR | TIOCM_RTS));
      break;
    case TIOCMBIS:
      lines |= *(int*)arg & (TIOCM_DTR | TIOCM_RTS);
      break;
    case TIOCMBIC:
      lines &= ~(*(int*)arg & (TIOCM_DTR | TIOCM_RTS));
      break;
  }
  pthread_mutex_unlock(&mutex);
  return 0;
}

static int pass_or_answer(ioctl_fn real, int fd, unsigned long request,
                          void* arg) {
  const int saved = errno;
  int result = real(fd, request, arg);
  if (result != 0 && (errno == EINVAL || errno == ENOTTY) &&
      is_modem_request(request) && isatty(fd)) {
    errno = saved;
    result = answer(request, arg);
  }
  return result;
}

int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  pthread_once(&once, init);
  return pass_or_answer(real_ioctl, fd, request, arg);
}

/* No header declares it in this build; a pointer-sized third argument is
 * taken the same way as through the variadic declaration. */
int __ioctl_time64(int fd, unsigned long request, void* arg) {
  pthread_once(&once, init);
  return pass_or_answer(real_ioctl_time64, fd, request, arg);
}
