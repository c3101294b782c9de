// The project that both end-to-end runs of the results view use, and the
// report files with their dates and times masked.
#pragma once

#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace Kalvoro {

inline const QStringList ReportFiles = {QStringLiteral("Summary.txt"), QStringLiteral("Log.txt"),
                                        QStringLiteral("Errors.txt")};

// Demo's unit tests (a failed check, raised errors, a null-pointer crash, a
// failing Init and Exit, a disabled unit test) and the crash module's
// (segfault, division by zero, abort, illegal instruction, bus error, stack
// overflow, a crash in Init and in Exit). Report files are relative, so
// each copy of the project writes beside itself. Both programs run it in
// hosts, or with aHosts false in their own process.
inline QStringList ProjectLines(bool aHosts = true, int aJobs = 1) {
  const QString Demo = QStringLiteral(KALVORO_EXAMPLES_DIR "/Demo.so");
  const QString Crashes = QStringLiteral(KALVORO_TEST_MODULES_DIR "/Crashes.so");
  return {QStringLiteral("[Project]"),
          QStringLiteral("Signature=Kalvoro"),
          QStringLiteral("FileVersion=1.0"),
          QStringLiteral("ModuleCount=2"),
          QStringLiteral("ScenarioCount=3"),
          QStringLiteral("[FileInfo]"),
          QStringLiteral("SummaryEnabled=1"),
          QStringLiteral("SummaryFileName=Summary.txt"),
          QStringLiteral("LogEnabled=1"),
          QStringLiteral("LogFileName=Log.txt"),
          QStringLiteral("ErrorEnabled=1"),
          QStringLiteral("ErrorFileName=Errors.txt"),
          QStringLiteral("[Scenarios]"),
          QStringLiteral("Name0=Default Scenario"),
          QStringLiteral("Name1=Smoke"),
          QStringLiteral("Name2=Crashes"),
          QStringLiteral("[Modules]"),
          QStringLiteral("File0=") + Demo,
          QStringLiteral("Load0=1"),
          QStringLiteral("AssignmentCount0=6"),
          QStringLiteral("File1=") + Crashes,
          QStringLiteral("Load1=1"),
          QStringLiteral("AssignmentCount1=4"),
          QLatin1Char('[') + Demo + QLatin1Char(']'),
          QStringLiteral("Assign0=TMathTest|Default Scenario|ENABLED"),
          QStringLiteral("Assign1=TStackTest|Smoke|ENABLED"),
          QStringLiteral("Assign2=TBrokenInitTest|Default Scenario|ENABLED"),
          QStringLiteral("Assign3=TBrokenExitTest|Default Scenario|DISABLED"),
          QStringLiteral("Assign4=TCrashTest|Default Scenario|ENABLED"),
          QStringLiteral("Assign5=TNoMethodsTest|Smoke|ENABLED"),
          QLatin1Char('[') + Crashes + QLatin1Char(']'),
          QStringLiteral("Assign0=TCrashMethods|Crashes|ENABLED"),
          QStringLiteral("Assign1=TStackOverflow|Crashes|ENABLED"),
          QStringLiteral("Assign2=TCrashInInit|Crashes|ENABLED"),
          QStringLiteral("Assign3=TCrashInExit|Crashes|ENABLED"),
          QStringLiteral("[Kalvoro/Options]"),
          QStringLiteral("Hosts=") + (aHosts ? QLatin1Char('1') : QLatin1Char('0')),
          QStringLiteral("Jobs=") + QString::number(aJobs)};
}

// A report file's lines with every date and time masked, and the process
// ids and addresses of sanitizers' reports.
inline QStringList Masked(const QString& aPath) {
  static const QRegularExpression Stamp(
      QStringLiteral("\\d\\d\\D\\d\\d\\D\\d{4} \\d\\d\\D\\d\\d\\D\\d\\d"));
  static const QRegularExpression Process(QStringLiteral("==\\d+==|\\b(pid|tid)=\\d+"));
  static const QRegularExpression Address(QStringLiteral("0x[0-9a-f]+"));
  QStringList Lines;
  QFile File(aPath);
  if (File.open(QIODevice::ReadOnly))
    Lines = QString::fromUtf8(File.readAll()).split(QStringLiteral("\r\n"));
  if (!Lines.isEmpty() && Lines.last().isEmpty())
    Lines.removeLast();
  for (QString& Line : Lines) {
    Line.replace(Stamp, QStringLiteral("<time>"));
    Line.replace(Process, QStringLiteral("<process>"));
    Line.replace(Address, QStringLiteral("<address>"));
  }
  return Lines;
}

} // namespace Kalvoro
