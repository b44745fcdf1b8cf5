// Loaded into the program with LD_PRELOAD by bench/startup.py. Once the main window has been
// painted and the event loop has nothing left to do, it writes to ZORBEK_PROBE_REPORT the clock
// (CLOCK_REALTIME, nanoseconds), the processor time used so far (all threads) and the process's peak and current resident memory (kB), then
// ends the program as closing it does (so that the next start finds a clean end). It knows the program only by its windows, so one probe measures
// every build of it.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QMainWindow>
#include <QWidget>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

long StatusKb(const char* field) {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith(field)) return line.mid(static_cast<int>(qstrlen(field))).trimmed().split(' ')[0].toLong();
  return -1;
}

class StartProbe : public QObject {
 public:
  explicit StartProbe(QString report) : QObject(qApp), report_(std::move(report)) {
    qApp->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!painted_ && event->type() == QEvent::Paint && watched->isWidgetType()) {
      QWidget* window = static_cast<QWidget*>(watched)->window();
      if (qobject_cast<QMainWindow*>(window) && window->isVisible()) {
        painted_ = true;
        // Idle: the dispatcher is about to wait, with nothing left to deliver.
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                this, &StartProbe::Idle);
      }
    }
    return false;
  }

 private:
  void Idle() {
    if (done_) return;
    done_ = true;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const long long cpuUs = (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000LL +
                            u.ru_utime.tv_usec + u.ru_stime.tv_usec;
    if (FILE* f = std::fopen(report_.toLocal8Bit().constData(), "w")) {
      std::fprintf(f, "idle_ns=%lld\ncpu_us=%lld\npeak_kb=%ld\nrss_kb=%ld\n", ns, cpuUs,
                   StatusKb("VmHWM:"), StatusKb("VmRSS:"));
      std::fclose(f);
    }
    // For a profile of the start alone: end here, without the closing save (the next start
    // then sees a writer that died and sweeps the store after its window shows).
    if (qEnvironmentVariableIsSet("ZORBEK_PROBE_END_AT_IDLE")) _exit(0);
    QCoreApplication::exit(0);
  }

  QString report_;
  bool painted_ = false;
  bool done_ = false;
};

void Start() {
  const QString report = qEnvironmentVariable("ZORBEK_PROBE_REPORT");
  if (report.isEmpty()) return;
  new StartProbe(report);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
