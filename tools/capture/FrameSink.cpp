#include "FrameSink.h"

#include <GL/glew.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <libdeflate.h>
#include <zlib.h>

#include "ReplaceFiles.h"
#include "engine/CheckGLError.h"

extern char** environ;

// ---- PNG frames ----------------------------------------------------------------

PngSink::PngSink(const CaptureOptions& options_) : options(options_) {}

bool ReadBackBuffer(int width, int height, std::vector<uint8_t>& pixels)
{
    // Whatever the frame left behind is reported as usual, not blamed on the read.
    CheckGLError();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return glGetError() == GL_NO_ERROR;
}

namespace {

void StoreBigEndian(uint8_t* out, uint32_t value)
{
    out[0] = (uint8_t)(value >> 24);
    out[1] = (uint8_t)(value >> 16);
    out[2] = (uint8_t)(value >> 8);
    out[3] = (uint8_t)value;
}

// Length, type, data, then the CRC of type and data.
bool WriteChunk(FILE* file, const char* type, const uint8_t* data, uint32_t size)
{
    uint8_t head[8];
    StoreBigEndian(head, size);
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0L, head + 4, 4);
    if (size > 0)
        crc = crc32(crc, data, size);
    uint8_t tail[4];
    StoreBigEndian(tail, (uint32_t)crc);
    return std::fwrite(head, 1, 8, file) == 8 && (size == 0 || std::fwrite(data, 1, size, file) == size) &&
           std::fwrite(tail, 1, 4, file) == 4;
}

// The image data: every row filtered with "sub" (each byte less the same
// channel of the pixel to its left) and deflated by libdeflate at its fastest
// level. On the production's frames that is 35 ms a 1080p frame where stb's
// five-filter search at level 8 took 465 ms and zlib's fastest level 50, and
// the files come out smaller than zlib's; the writer thread then leaves the
// renderer nearly all of a small machine. The buffers live as long as the
// thread, so a frame costs no fresh pages.
bool WriteImageData(FILE* file, int width, int height, const uint8_t* rgba)
{
    struct Buffers {
        libdeflate_compressor* compressor = libdeflate_alloc_compressor(1);
        std::vector<uint8_t> filtered;
        std::vector<uint8_t> packed;
        ~Buffers() { libdeflate_free_compressor(compressor); }
    };
    thread_local Buffers buffers;
    if (buffers.compressor == nullptr)
        return false;

    const size_t stride = (size_t)width * 4;
    try {
        buffers.filtered.resize((stride + 1) * (size_t)height);
        buffers.packed.resize(libdeflate_zlib_compress_bound(buffers.compressor, buffers.filtered.size()));
    } catch (const std::bad_alloc&) {
        // A huge frame on a small machine: report it, as a write that failed.
        errno = ENOMEM;
        return false;
    }
    for (int y = 0; y < height; ++y) {
        // GL's rows are bottom-up; the file's are top-down.
        const uint8_t* row = rgba + stride * (size_t)(height - 1 - y);
        uint8_t* out = &buffers.filtered[(stride + 1) * (size_t)y];
        out[0] = 1;
        std::memcpy(out + 1, row, 4);
        for (size_t i = 4; i < stride; ++i) out[i + 1] = (uint8_t)(row[i] - row[i - 4]);
    }
    const size_t size = libdeflate_zlib_compress(buffers.compressor, buffers.filtered.data(),
                                                 buffers.filtered.size(), buffers.packed.data(),
                                                 buffers.packed.size());
    if (size == 0)
        return false;
    // IDAT chunks of at most 1 MiB, well inside the format's 2^31 - 1.
    const size_t kChunk = 1 << 20;
    for (size_t at = 0; at < size; at += kChunk) {
        const uint32_t part = (uint32_t)std::min(kChunk, size - at);
        if (!WriteChunk(file, "IDAT", buffers.packed.data() + at, part))
            return false;
    }
    return true;
}

}  // namespace

bool WriteFramePng(const std::string& path, int width, int height, const uint8_t* rgba,
                   std::string& error)
{
    // A new file replaces an old one only once it is whole; anything else
    // there (a device, a pipe) is written directly and never removed.
    struct stat existing;
    const bool direct = stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode);
    std::string partial;
    errno = 0;
    FILE* file = nullptr;
    if (direct) {
        file = std::fopen(path.c_str(), "wb");
    } else {
        int fd = createSiblingTemp(path, &partial);
        file = fd < 0 ? nullptr : fdopen(fd, "wb");
        if (fd >= 0 && file == nullptr) {
            close(fd);
            unlink(partial.c_str());
        }
    }
    if (file == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno ? errno : EIO);
        return false;
    }
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    uint8_t header[13];
    StoreBigEndian(header, (uint32_t)width);
    StoreBigEndian(header + 4, (uint32_t)height);
    header[8] = 8;   // bits per channel
    header[9] = 6;   // RGBA
    header[10] = 0;  // deflate
    header[11] = 0;  // adaptive filtering
    header[12] = 0;  // not interlaced
    bool ok = std::fwrite(kSignature, 1, 8, file) == 8 && WriteChunk(file, "IHDR", header, sizeof header) &&
              WriteImageData(file, width, height, rgba) && WriteChunk(file, "IEND", nullptr, 0);
    ok = std::fflush(file) == 0 && ok && !std::ferror(file);
    const int writeErrno = errno;
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        const int reason = writeErrno ? writeErrno : (errno ? errno : EIO);
        if (!partial.empty()) unlink(partial.c_str());
        error = "cannot write " + path + ": " + std::strerror(reason);
        return false;
    }
    if (!partial.empty() && !replaceFiles({partial}, {path}, &error)) {
        error = "cannot write " + error;
        return false;
    }
    return true;
}

bool PngSink::Write(long frame, const uint8_t* rgba)
{
    return WriteFramePng(FramePath(options, frame), options.width, options.height, rgba, error);
}

// ---- Video through ffmpeg --------------------------------------------------------------

std::string AudioFilter(double audioStart, double audioEnd)
{
    // The decoder drops the MP3's encoder delay and padding, but the first sample
    // it keeps may carry a timestamp later than 0. Rebasing before the cut makes
    // that sample time 0, as in the production, and rebasing after it makes the
    // audio start with the first video frame.
    char text[160];
    std::snprintf(text, sizeof text,
                  "asetpts=PTS-STARTPTS,atrim=start=%.6f:end=%.6f,asetpts=PTS-STARTPTS", audioStart,
                  audioEnd);
    return text;
}

VideoSink::VideoSink(const CaptureOptions& options_, const std::string& partial_, const std::string& soundtrack_,
                     double audioStart_, double audioEnd_)
    : options(options_), partial(partial_), soundtrack(soundtrack_), audioStart(audioStart_), audioEnd(audioEnd_)
{
}

VideoSink::~VideoSink()
{
    if (pipeFd >= 0) close(pipeFd);
    if (child > 0) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
    }
    if (errorsFd >= 0) close(errorsFd);
    if (!partial.empty()) unlink(partial.c_str());
}

std::string FindProgram(const std::string& name)
{
    if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t colon = dirs.find(':', start);
        if (colon == std::string::npos) colon = dirs.size();
        std::string dir = dirs.substr(start, colon - start);
        if (dir.empty()) dir = ".";
        std::string candidate = dir + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = colon + 1;
    }
    return "";
}

std::string FindProbeFor(const std::string& ffmpeg)
{
    std::string program = FindProgram(ffmpeg);
    size_t slash = program.rfind('/');
    if (slash != std::string::npos) {
        std::string beside = program.substr(0, slash + 1) + "ffprobe";
        if (access(beside.c_str(), X_OK) == 0) return beside;
    }
    return FindProgram("ffprobe");
}

namespace {

// The muxer by the output's extension, named explicitly because ffmpeg
// writes to a temporary name whose extension says nothing.
const char* ContainerFormat(const std::string& output)
{
    std::string lower = output;
    for (char& c : lower) c = (char)std::tolower((unsigned char)c);
    if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".mkv") == 0) return "matroska";
    if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".mov") == 0) return "mov";
    return "mp4";
}

// Reads what a child wrote into a memory file, from the start.
std::string ReadBack(int fd)
{
    std::string text;
    if (fd < 0 || lseek(fd, 0, SEEK_SET) != 0) return text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) text.append(buffer, (size_t)n);
    return text;
}

std::string FirstLine(const std::string& text)
{
    size_t start = text.find_first_not_of("\r\n \t");
    if (start == std::string::npos) return "";
    size_t end = text.find_first_of("\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Starts argv with stdin from `input` (-1: none) and stdout and stderr into
// the given descriptors (-1: inherited); the child's pid, or -1 with error.
pid_t Spawn(const std::vector<std::string>& args, int input, int output, int errors, std::string& error)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0) {
        posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, input);
    }
    if (output >= 0) posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    if (errors >= 0) posix_spawn_file_actions_adddup2(&actions, errors, STDERR_FILENO);
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& a : copy) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, copy[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        error = "cannot start " + args[0] + ": " + std::strerror(rc);
        return -1;
    }
    return pid;
}

int WaitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return status;
}

}  // namespace

bool VerifyVideo(const std::string& ffprobe, const std::string& path, long frames, int fps, bool withAudio,
                 std::string& error)
{
    // Counting packets reads every one of them without decoding: a file cut
    // short or without its index fails here as it would in a player.
    int out = memfd_create("ffprobe-out", MFD_CLOEXEC);
    if (out < 0) {
        error = std::string("cannot check the video: ") + std::strerror(errno);
        return false;
    }
    pid_t pid = Spawn({ffprobe, "-v", "error", "-count_packets", "-show_entries",
                       "stream=codec_type,nb_read_packets:format=duration", "-of", "default=noprint_wrappers=1",
                       path},
                      -1, out, out, error);
    int status = pid > 0 ? WaitFor(pid) : -1;
    std::string report = ReadBack(out);
    close(out);
    if (pid <= 0) return false;

    long videoStreams = 0, audioStreams = 0, videoFrames = -1;
    double duration = -1.0;
    std::string type;
    bool clean = true;
    size_t at = 0;
    while (at < report.size()) {
        size_t end = report.find('\n', at);
        if (end == std::string::npos) end = report.size();
        std::string line = report.substr(at, end - at);
        at = end + 1;
        size_t eq = line.find('=');
        std::string key = eq == std::string::npos ? "" : line.substr(0, eq);
        std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
        if (key == "codec_type") {
            type = value;
            videoStreams += type == "video";
            audioStreams += type == "audio";
        } else if (key == "nb_read_packets") {
            if (type == "video") videoFrames = std::atol(value.c_str());
        } else if (key == "duration") {
            duration = std::atof(value.c_str());
        } else if (!line.empty()) {
            clean = false;  // an error line of ffprobe's
        }
    }
    const double expected = (double)frames / fps;
    char text[256];
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !clean || videoStreams == 0) {
        std::string why = FirstLine(report);
        error = "the video is not readable" + (why.empty() ? std::string() : " (" + why + ")");
    } else if (videoStreams != 1 || audioStreams != (withAudio ? 1 : 0)) {
        std::snprintf(text, sizeof text, "the video holds %ld video and %ld audio streams instead of 1 and %d",
                      videoStreams, audioStreams, withAudio ? 1 : 0);
        error = text;
    } else if (videoFrames != frames) {
        std::snprintf(text, sizeof text, "the video holds %ld frames instead of %ld", videoFrames, frames);
        error = text;
    } else if (!(std::fabs(duration - expected) <= 0.1 + 1.0 / fps)) {
        // The sound may end up to a frame before the picture, and AAC rounds
        // its end to a block of some 20 ms.
        std::snprintf(text, sizeof text, "the video lasts %.3f s instead of %.3f s", duration, expected);
        error = text;
    } else {
        return true;
    }
    return false;
}

bool VideoSink::Start()
{
    std::string program = FindProgram(options.ffmpeg);
    if (program.empty()) {
        error = "cannot find the program '" + options.ffmpeg + "' (install ffmpeg or give --ffmpeg PATH)";
        return false;
    }

    char size[32], fps[16], crf[8];
    std::snprintf(size, sizeof size, "%dx%d", options.width, options.height);
    std::snprintf(fps, sizeof fps, "%d", options.fps);
    std::snprintf(crf, sizeof crf, "%d", options.crf);
    // H.264 in 4:2:0 needs even sizes; an odd size gets one black edge pixel.
    std::string videoFilter = "vflip";
    if (options.width % 2 != 0 || options.height % 2 != 0) videoFilter += ",pad=ceil(iw/2)*2:ceil(ih/2)*2";

    const std::string format = ContainerFormat(options.output);
    std::vector<std::string> args = {program, "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgba", "-video_size", size,
                                     "-framerate", fps, "-i", "pipe:0",
                                     "-i", soundtrack,
                                     "-map", "0:v:0", "-map", "1:a:0",
                                     "-vf", videoFilter,
                                     "-c:v", "libx264", "-preset", "medium", "-crf", crf, "-pix_fmt", "yuv420p",
                                     "-af", AudioFilter(audioStart, audioEnd),
                                     "-c:a", "aac", "-b:a", "192k"};
    if (format != "matroska") {
        args.push_back("-movflags");
        args.push_back("+faststart");
    }
    args.insert(args.end(), {"-f", format, partial});

    // Its error output is read once it ends, and passed on then.
    errorsFd = memfd_create("ffmpeg-errors", MFD_CLOEXEC);
    if (errorsFd < 0) {
        error = std::string("cannot keep ffmpeg's messages: ") + std::strerror(errno);
        return false;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        error = std::string("cannot make a pipe to ffmpeg: ") + std::strerror(errno);
        return false;
    }
    // Our end must not leak into ffmpeg, or it would never see the end of its input.
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    pid_t pid = Spawn(args, fds[0], -1, errorsFd, error);
    close(fds[0]);
    if (pid < 0) {
        close(fds[1]);
        return false;
    }
    child = pid;
    pipeFd = fds[1];
    return true;
}

bool VideoSink::Write(long, const uint8_t* rgba)
{
    size_t left = (size_t)options.width * (size_t)options.height * 4;
    const uint8_t* p = rgba;
    while (left > 0) {
        ssize_t n = write(pipeFd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "ffmpeg stopped taking frames";
            return false;
        }
        p += n;
        left -= (size_t)n;
    }
    ++written;
    return true;
}

bool VideoSink::Close()
{
    if (pipeFd >= 0) {
        close(pipeFd);
        pipeFd = -1;
    }
    if (child <= 0) return false;
    int status = WaitFor(child);
    child = -1;
    // ffmpeg 5.1 exits 0 even when writing the file's index failed, so its
    // word is checked, and then the file itself.
    std::string messages = ReadBack(errorsFd);
    if (!messages.empty()) {
        std::fputs(messages.c_str(), stderr);
        if (messages.back() != '\n') std::fputc('\n', stderr);
    }
    const std::string why = FirstLine(messages);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !why.empty()) {
        error = "ffmpeg failed to write " + options.output + (why.empty() ? "" : ": " + why);
        return false;
    }
    std::string check;
    if (!VerifyVideo(FindProbeFor(options.ffmpeg), partial, written, options.fps, audioEnd > audioStart, check)) {
        error = "ffmpeg did not write a complete " + options.output + ": " + check;
        return false;
    }
    if (!replaceFiles({partial}, {options.output}, &error)) return false;
    partial.clear();
    return true;
}

// ---- Output checks ---------------------------------------------------------------

static std::string DirectoryOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool PrepareOutput(const CaptureOptions& options, std::string& partial, std::string& error)
{
    switch (options.outputKind) {
    case OutputKind::Video: {
        struct stat st;
        if (stat(options.output.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            error = "cannot write " + options.output + ": it is not a regular file";
            return false;
        }
        int fd = createSiblingTemp(options.output, &partial);
        if (fd < 0) {
            error = "cannot write " + options.output + ": " + std::strerror(errno);
            return false;
        }
        close(fd);
        return true;
    }
    case OutputKind::PngDirectory: {
        const std::string& dir = options.output;
        struct stat st;
        if (stat(dir.c_str(), &st) != 0) {
            if (mkdir(dir.c_str(), 0777) != 0) {
                error = "cannot create the directory " + dir + ": " + std::strerror(errno);
                return false;
            }
        } else if (!S_ISDIR(st.st_mode)) {
            error = "cannot write frames into " + dir + ": it is not a directory";
            return false;
        }
        if (access(dir.c_str(), W_OK) != 0) {
            error = "cannot write into " + dir + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    case OutputKind::Discard: return true;
    case OutputKind::PngPattern: {
        std::string dir = DirectoryOf(options.output);
        struct stat st;
        if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            error = "cannot write frames: the directory " + dir + " does not exist";
            return false;
        }
        if (access(dir.c_str(), W_OK) != 0) {
            error = "cannot write into " + dir + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    }
    return false;
}

// ---- Writing on a thread of its own ---------------------------------------------------

FrameWriter::FrameWriter(FrameSink& sink_, size_t frameBytes, int depth) : sink(sink_)
{
    for (int i = 0; i < (depth < 1 ? 1 : depth); ++i) spare.emplace_back(frameBytes);
    worker = std::thread([this] { Run(); });
}

FrameWriter::~FrameWriter()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    worker.join();
}

bool FrameWriter::Submit(long frame, std::vector<uint8_t>& pixels)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return failed || !spare.empty(); });
    if (failed) return false;
    std::vector<uint8_t> buffer = std::move(spare.back());
    spare.pop_back();
    buffer.resize(pixels.size());
    buffer.swap(pixels);
    queue.push_back(Job{frame, std::move(buffer)});
    changed.notify_all();
    return true;
}

bool FrameWriter::Finish()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return failed || (queue.empty() && !busy); });
    return !failed;
}

void FrameWriter::Run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || !queue.empty(); });
        if (queue.empty()) return;
        Job job = std::move(queue.front());
        queue.pop_front();
        busy = true;
        bool ok = !failed;
        if (ok) {
            lock.unlock();
            ok = sink.Write(job.frame, job.pixels.data());
            lock.lock();
        }
        busy = false;
        if (!ok && !failed) {
            failed = true;
            error = sink.Error();
        }
        spare.push_back(std::move(job.pixels));
        changed.notify_all();
    }
}
