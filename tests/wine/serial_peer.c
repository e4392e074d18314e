/* The far end of the Windows port tests under wine: a Linux process that
 * serves each TCP connection on 127.0.0.1 as one session with a fresh
 * pseudo-terminal, linked as the first free COM3..COM9 in the wine prefix's
 * dosdevices. The Windows test cannot open a pty master itself, so it tells
 * the peer what to do, one line per command and one line per answer:
 *
 *   (on connect)       -> COMn
 *   send HEX           -> ok              writes the bytes to the line
 *   recv N MS          -> HEX             what arrived, once N bytes did or
 *                                         MS passed; taken from the log
 *   echo 0|1           -> ok              echo every byte back
 *   hangup             -> ok              closes the pty: the device is gone
 *   emulator [ARGS]    -> ok | error ...  hands the COM name to a virtual
 *                                         instrument instead
 *
 * Usage: serial-peer DOSDEVICES-DIR [EMULATOR]; prints the TCP port. Ends
 * on SIGTERM, taking the links and instruments of open sessions with it. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

enum { kFirstCom = 3, kLastCom = 9, kLogBytes = 1 << 16, kLineBytes = 8192 };

static const char* dosdevices;
static const char* emulator;
static pthread_mutex_t com_mutex = PTHREAD_MUTEX_INITIALIZER;
static pid_t com_owner[kLastCom + 1]; /* a session's emulator, or -1 */
static int com_used[kLastCom + 1];

struct session {
  int sock;
  int com;
  int master, slave;
  int echo;
  pid_t child;
  unsigned char log[kLogBytes];
  size_t logged;
  char line[kLineBytes];
  size_t lineLength;
};

static void link_path(int com, char* path, size_t size) {
  snprintf(path, size, "%s/com%d", dosdevices, com);
}

static long long now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}

static int reply(struct session* s, const char* text) {
  size_t n = strlen(text);
  return write(s->sock, text, n) == (ssize_t)n && write(s->sock, "\n", 1) == 1
             ? 0
             : -1;
}

static void close_pty(struct session* s) {
  if (s->master >= 0) close(s->master);
  if (s->slave >= 0) close(s->slave);
  s->master = s->slave = -1;
}

static int open_pty(struct session* s) {
  struct termios raw;
  char name[128], path[512];
  if (openpty(&s->master, &s->slave, name, NULL, NULL) != 0) return -1;
  tcgetattr(s->slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(s->slave, TCSANOW, &raw);
  fcntl(s->master, F_SETFL, O_NONBLOCK);
  link_path(s->com, path, sizeof path);
  unlink(path);
  return symlink(name, path);
}

/* Reads what the line has into the log (echoing it when asked); -1 once
 * the line is gone. */
static int drain_line(struct session* s) {
  unsigned char block[4096];
  for (;;) {
    ssize_t n = read(s->master, block, sizeof block);
    if (n < 0 && errno == EAGAIN) return 0;
    if (n <= 0) return -1;
    if (s->echo && write(s->master, block, (size_t)n) != n) return -1;
    size_t room = kLogBytes - s->logged;
    size_t keep = (size_t)n < room ? (size_t)n : room;
    memcpy(s->log + s->logged, block, keep);
    s->logged += keep;
  }
}

static void to_hex(const unsigned char* bytes, size_t n, char* out) {
  for (size_t i = 0; i < n; ++i) sprintf(out + 2 * i, "%02x", bytes[i]);
  out[2 * n] = 0;
}

static void do_recv(struct session* s, size_t want, int ms) {
  const long long deadline = now_ms() + ms;
  while (s->master >= 0 && s->logged < want) {
    long long left = deadline - now_ms();
    if (left <= 0) break;
    struct pollfd p = {s->master, POLLIN, 0};
    if (poll(&p, 1, (int)left) > 0 && drain_line(s) != 0) close_pty(s);
  }
  if (s->master >= 0 && drain_line(s) != 0) close_pty(s);
  size_t n = s->logged < kLineBytes / 2 - 1 ? s->logged : kLineBytes / 2 - 1;
  char hex[kLineBytes];
  to_hex(s->log, n, hex);
  memmove(s->log, s->log + n, s->logged - n);
  s->logged -= n;
  reply(s, hex);
}

static void do_send(struct session* s, const char* hex) {
  unsigned char bytes[kLineBytes / 2];
  size_t n = 0;
  unsigned value;
  while (n < sizeof bytes && sscanf(hex + 2 * n, "%2x", &value) == 1) {
    bytes[n++] = (unsigned char)value;
  }
  reply(s, s->master >= 0 && write(s->master, bytes, n) == (ssize_t)n
               ? "ok"
               : "error write");
}

/* The instrument takes the COM link over and prints its pty once up. */
static void do_emulator(struct session* s, char* args) {
  char path[512], *argv[32];
  int argc = 0, out[2];
  link_path(s->com, path, sizeof path);
  argv[argc++] = (char*)emulator;
  argv[argc++] = "--link";
  argv[argc++] = path;
  for (char* arg = strtok(args, " "); arg && argc < 31; arg = strtok(NULL, " "))
    argv[argc++] = arg;
  argv[argc] = NULL;
  if (!emulator || s->child > 0 || pipe(out) != 0) {
    reply(s, "error no emulator");
    return;
  }
  close_pty(s);
  s->child = fork();
  if (s->child == 0) {
    dup2(out[1], 1);
    close(out[0]);
    execv(emulator, argv);
    _exit(127);
  }
  close(out[1]);
  char first[256];
  ssize_t n = s->child > 0 ? read(out[0], first, sizeof first) : -1;
  close(out[0]);
  pthread_mutex_lock(&com_mutex);
  com_owner[s->com] = s->child;
  pthread_mutex_unlock(&com_mutex);
  reply(s, n > 0 ? "ok" : "error emulator did not start");
}

static void end_session(struct session* s) {
  char path[512];
  if (s->child > 0) {
    kill(s->child, SIGTERM);
    waitpid(s->child, NULL, 0);
  }
  close_pty(s);
  link_path(s->com, path, sizeof path);
  unlink(path);
  close(s->sock);
  pthread_mutex_lock(&com_mutex);
  com_used[s->com] = 0;
  com_owner[s->com] = -1;
  pthread_mutex_unlock(&com_mutex);
  free(s);
}

static void command(struct session* s, char* line) {
  char* arg = strchr(line, ' ');
  if (arg) *arg++ = 0;
  if (strcmp(line, "send") == 0 && arg) {
    do_send(s, arg);
  } else if (strcmp(line, "recv") == 0 && arg) {
    size_t want = 0;
    int ms = 0;
    sscanf(arg, "%zu %d", &want, &ms);
    do_recv(s, want, ms);
  } else if (strcmp(line, "echo") == 0 && arg) {
    s->echo = atoi(arg);
    reply(s, "ok");
  } else if (strcmp(line, "hangup") == 0) {
    close_pty(s);
    reply(s, "ok");
  } else if (strcmp(line, "emulator") == 0) {
    do_emulator(s, arg ? arg : (char[]){0});
  } else {
    reply(s, "error unknown command");
  }
}

static void* run_session(void* arg) {
  struct session* s = arg;
  char name[16];
  if (open_pty(s) != 0) {
    reply(s, "error no pty");
    end_session(s);
    return NULL;
  }
  snprintf(name, sizeof name, "COM%d", s->com);
  reply(s, name);
  for (;;) {
    struct pollfd p[2] = {{s->sock, POLLIN, 0}, {s->master, POLLIN, 0}};
    if (poll(p, s->master >= 0 ? 2 : 1, -1) < 0 && errno != EINTR) break;
    if (s->master >= 0 && p[1].revents != 0 && drain_line(s) != 0) {
      close_pty(s);
    }
    if (p[0].revents == 0) continue;
    ssize_t n =
        read(s->sock, s->line + s->lineLength, kLineBytes - 1 - s->lineLength);
    if (n <= 0) break;
    s->lineLength += (size_t)n;
    char* end;
    while ((end = memchr(s->line, '\n', s->lineLength)) != NULL) {
      *end = 0;
      command(s, s->line);
      s->lineLength -= (size_t)(end + 1 - s->line);
      memmove(s->line, end + 1, s->lineLength);
    }
  }
  end_session(s);
  return NULL;
}

static int take_com(void) {
  pthread_mutex_lock(&com_mutex);
  int com = kFirstCom;
  while (com <= kLastCom && com_used[com]) ++com;
  if (com <= kLastCom) com_used[com] = 1;
  pthread_mutex_unlock(&com_mutex);
  return com <= kLastCom ? com : -1;
}

static void* accept_sessions(void* arg) {
  const int listener = *(int*)arg;
  for (;;) {
    int sock = accept(listener, NULL, NULL);
    if (sock < 0) continue;
    struct session* s = calloc(1, sizeof *s);
    s->sock = sock;
    s->master = s->slave = -1;
    s->com = take_com();
    pthread_t thread;
    if (s->com < 0) {
      reply(s, "error no free COM port");
      close(sock);
      free(s);
    } else if (pthread_create(&thread, NULL, run_session, s) == 0) {
      pthread_detach(thread);
    }
  }
  return NULL;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: serial-peer DOSDEVICES-DIR [EMULATOR]\n");
    return 2;
  }
  dosdevices = argv[1];
  emulator = argc > 2 ? argv[2] : NULL;
  for (int com = 0; com <= kLastCom; ++com) com_owner[com] = -1;
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, NULL);
  signal(SIGPIPE, SIG_IGN);

  int listener = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in address = {0};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 ||
      listen(listener, 8) != 0 ||
      getsockname(listener, (struct sockaddr*)&address, &size) != 0) {
    perror("serial-peer");
    return 1;
  }
  printf("%d\n", ntohs(address.sin_port));
  fflush(stdout);
  pthread_t thread;
  pthread_create(&thread, NULL, accept_sessions, &listener);

  int signal_number;
  sigwait(&stop, &signal_number);
  pthread_mutex_lock(&com_mutex);
  for (int com = kFirstCom; com <= kLastCom; ++com) {
    char path[512];
    if (!com_used[com]) continue;
    if (com_owner[com] > 0) kill(com_owner[com], SIGTERM);
    link_path(com, path, sizeof path);
    unlink(path);
  }
  return 0;
}
