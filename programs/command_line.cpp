#include "programs/command_line.h"

#include <QCommandLineParser>
#include <QStringList>
#include <cmath>

namespace vidora {

namespace {

constexpr double kMaxQuitAfterSeconds = 7 * 24 * 3600.0;

std::string describe(const std::string& program) {
    return program == "vidora-demo"
               ? "Vidora, the viewer and recorder of the MR220 camera receiver, on a simulated "
                 "receiver with four synthetic cameras."
               : "Vidora, the viewer and recorder of the MR220 camera receiver.";
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments,
                             const std::string& program) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromStdString(describe(program)));
    const QCommandLineOption help({"h", "help"}, "Show this help and end.");
    const QCommandLineOption version("version", "Show the version and end.");
    const QCommandLineOption workdir(
        "workdir",
        "Work in <dir>: the settings file, the skin (UI/) and, for a new settings file, the "
        "record and snapshot folders. Without it Vidora works in the start folder when that "
        "holds a skin (UI/), otherwise in its per-user folder ($XDG_DATA_HOME/vidora).",
        "dir");
    const QCommandLineOption screenshot(
        "screenshot",
        "Save a picture of the main window to <file> (PNG) when --quit-after ends "
        "the run.",
        "file");
    const QCommandLineOption quitAfter(
        "quit-after", "End the run after <seconds>, as if the main window were closed.", "seconds");
    const QCommandLineOption diagnose(
        "diagnose",
        "Check the receiver, its USB access, the GStreamer elements, the sound output and the "
        "folders; print what was found and end with 0 when all is well.");
    const QCommandLineOption device(
        "device",
        "Use the video capture device <node> (such as /dev/video2) as the receiver, whatever "
        "name it reports; the choice is kept in vidora.ini (More settings, Receiver).",
        "node");
    const QCommandLineOption verbose(
        "verbose", "Log what every layer does (the categories vidora.*) to standard error.");
    for (const QCommandLineOption& option :
         {help, version, workdir, screenshot, quitAfter, diagnose, device, verbose})
        parser.addOption(option);

    QStringList list;
    for (const std::string& argument : arguments)
        list << QString::fromLocal8Bit(argument.c_str());
    CommandLine result;
    auto usage = [&] {
        return parser.helpText()
            .replace("<executable_name>", QString::fromStdString(program))
            .toStdString();
    };
    auto fail = [&](const QString& error) {
        result.exitCode = 2;
        result.err = program + ": " + error.toStdString() + "\n\n" + usage();
        return result;
    };

    if (!parser.parse(list))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(QString("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        result.exitCode = 0;
        result.out = usage();
        return result;
    }
    if (parser.isSet(version)) {
        result.exitCode = 0;
        result.out = program + " " VIDORA_VERSION "\n";
        return result;
    }

    ProgramOptions& options = result.options;
    if (parser.isSet(workdir)) {
        const QString dir = parser.value(workdir);
        if (dir.isEmpty())
            return fail("--workdir needs a folder.");
        options.workdir = dir.toStdString();
    }
    if (parser.isSet(quitAfter)) {
        bool number = false;
        const double seconds = parser.value(quitAfter).toDouble(&number);
        if (!number || !std::isfinite(seconds) || seconds <= 0 || seconds > kMaxQuitAfterSeconds)
            return fail(QString("--quit-after needs a number of seconds, not '%1'.")
                            .arg(parser.value(quitAfter)));
        options.quitAfterMs = static_cast<int>(std::lround(seconds * 1000));
    }
    if (parser.isSet(screenshot)) {
        if (!options.quitAfterMs)
            return fail("--screenshot needs --quit-after: the picture is taken as the run ends.");
        const QString file = parser.value(screenshot);
        if (file.isEmpty())
            return fail("--screenshot needs a file name.");
        std::error_code ec;
        options.screenshot = std::filesystem::absolute(file.toStdString(), ec);
        if (ec)
            return fail("--screenshot: " + QString::fromStdString(ec.message()));
    }
    if (parser.isSet(device)) {
        const std::string node = parser.value(device).toStdString();
        if (!node.starts_with("/dev/"))
            return fail("--device needs the path of a video node, such as /dev/video0.");
        options.device = node;
    }
    options.diagnose = parser.isSet(diagnose);
    options.verbose = parser.isSet(verbose);
    return result;
}

}  // namespace vidora
