// Sound through Windows' own audio (WASAPI, shared mode): its stream, its clock, the loss of its
// device and the change of the default device.
#include "music/core.h"
#include "music/output.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <future>
#include <thread>

namespace {

// The buffer asked of the device: about the whole latency from handing a frame over to hearing
// it. Lower costs more wake-ups. Under Wine it bounds the clock's error too: Wine's position is
// what it has passed on to its PulseAudio stream, whose queue grows with the buffer asked for (the
// sink heard up to 72 ms behind the position with 100 ms, within 2 ms with 30 ms while the stream
// was fed in time).
constexpr double bufferSeconds = 0.03;
// The thread wakes when the device wants more, and at least this often: a loss is noticed within
// a few hundredths of a second.
constexpr DWORD wakeMilliseconds = 5;
// Opening a device after a loss is tried again this long after, then twice as long each time,
// up to the longest wait, as the sound server is: a device back is heard within half a second.
constexpr double firstRetrySeconds = 0.1;
constexpr double longestRetrySeconds = 0.5;
// A report this far from the clock's line is a jump of the sound, not jitter.
constexpr double jumpSeconds = 0.005;
// A stream that joins a returning device is placed afresh at most this many times as the
// device's reports show where its frames are heard; then the clock slews over to what is heard.
constexpr int mostPlacements = 4;

using Lock = std::lock_guard<std::mutex>;

template <typename T> void release(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

// ---- Owned by the device thread ----------------------------------------------------------------

IMMDeviceEnumerator* enumerator = nullptr;
IAudioClient* client = nullptr;
IAudioRenderClient* render = nullptr;
IAudioClock* deviceClock = nullptr;
HANDLE bufferEvent = nullptr; // set by the device when it wants more
HANDLE wakeEvent = nullptr;   // set by the program's thread: a placement, or quitting
UINT32 bufferFrames = 0;
UINT64 clockFrequency = 1; // the device clock's units per second
bool started = false;      // the client plays: frames were handed since its last reset
uint64_t streamGeneration = 0;
double sinkSeconds = 0; // the stream's own latency, as the device reports it
double retryAt = 0, retryWait = firstRetrySeconds;
std::thread thread;
unsigned rate = 0;

// Set by the system's notification thread when the default output device changes.
std::atomic<bool> defaultChanged{false};

// ---- Shared with the program's thread, under audioLock ----------------------------------------

bool quit = false;
bool live = false;      // a device plays; the clock follows it
bool rejoining = false; // a device plays again; the clock is still on the system clock
// The latest whole latency the device reported, from handing a frame over to hearing it: how soon
// a stream that joins a returning device is expected to be heard.
double predictedLatency = bufferSeconds;
int placements = 0;         // how often the current stream was placed while rejoining
uint64_t placedAt = 0;      // streamWritten when it was placed last
bool verified = false;      // and the device's line has since shown it heard where placed
uint64_t generation = 1;    // bumped by each placement
uint64_t streamBase = 0;    // audioHanded() when the current stream began
uint64_t streamWritten = 0; // output frames handed to the current stream
bool timed = false;         // the current stream's position has been read
bool advancing = false;     // and moved
double timeFrames = 0;      // output frames of the current stream heard at `timeStamp`
double timeStamp = 0;
bool reported = false;
int farSide = 0; // followReport's memory
OutputReport lastReport;

double heard(double now);

// The default output device changed: the thread moves to the new one. Called by the system on a
// thread of its own; the object lives as long as the program.
class DeviceWatch : public IMMNotificationClient {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == __uuidof(IUnknown) || id == __uuidof(IMMNotificationClient)) {
            *object = static_cast<IMMNotificationClient*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override {
        if (flow == eRender && role == eConsole) {
            defaultChanged = true;
            SetEvent(wakeEvent);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
        return S_OK;
    }
};
DeviceWatch deviceWatch;

// A moment of the performance counter, in the 100-nanosecond units the device clock gives it, as
// a moment on the monotonic clock. Both clocks are read together; a pair the thread was
// interrupted between (a busy machine) is read again.
double monotonicFromCounter(UINT64 counterTime) {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    double offset = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const double before = monotonicSeconds();
        QueryPerformanceCounter(&counter);
        const double after = monotonicSeconds();
        offset = double(counter.QuadPart) / double(frequency.QuadPart) - (before + after) / 2;
        if (after - before < 0.0002) break;
    }
    return double(counterTime) / 1e7 - offset;
}

void dropClient() {
    if (client != nullptr && started) client->Stop();
    started = false;
    release(deviceClock);
    release(render);
    release(client);
}

// The default output device, opened for 16-bit stereo at the output's rate; false when there is
// none or it refuses.
bool openDevice() {
    IMMDevice* device = nullptr;
    if (FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device))) return false;
    const HRESULT activated = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                               reinterpret_cast<void**>(&client));
    device->Release();
    if (FAILED(activated)) {
        client = nullptr;
        return false;
    }
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = rate * 4;
    // The system converts to the device's own format and rate; a system that cannot is asked for
    // ours as it is.
    const auto duration = REFERENCE_TIME(bufferSeconds * 1e7);
    const DWORD converting =
        AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
    HRESULT result =
        client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK | converting,
                           duration, 0, &format, nullptr);
    if (FAILED(result))
        result = client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                    duration, 0, &format, nullptr);
    REFERENCE_TIME latency = 0;
    if (FAILED(result) || FAILED(client->GetBufferSize(&bufferFrames)) ||
        FAILED(client->SetEventHandle(bufferEvent)) ||
        FAILED(
            client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&render))) ||
        FAILED(client->GetService(__uuidof(IAudioClock), reinterpret_cast<void**>(&deviceClock))) ||
        FAILED(deviceClock->GetFrequency(&clockFrequency)) || clockFrequency == 0) {
        dropClient();
        return false;
    }
    if (SUCCEEDED(client->GetStreamLatency(&latency))) sinkSeconds = double(latency) / 1e7;
    streamGeneration = 0; // a fresh stream is begun for the current placement
    return true;
}

// The device went away (or refused): the show runs on without it. `quietly` for a move to
// another device, which is no loss to the viewer.
void lose(bool quietly) {
    dropClient();
    const double now = monotonicSeconds();
    retryAt = quietly ? now : now + retryWait;
    if (!quietly) retryWait = std::min(2 * retryWait, longestRetrySeconds);
    bool wasLive = false;
    {
        const Lock lock(audioLock);
        wasLive = live;
        if (live || rejoining) audioOutputLost(now);
        live = rejoining = false;
    }
    if (wasLive && !quietly) {
        std::fputs("Sound lost: the show goes on without it.\n", stderr);
        std::fflush(stderr); // the C runtime buffers it when it is not a console
    }
}

// audioLock held, while rejoining a device, before frames are handed to the current stream: its
// first frames go where the clock will be when they are heard, predicted by the latency the
// device last reported; once its line runs, where that line says.
void place() {
    if (streamWritten == 0) {
        audioRejoinPlace(monotonicSeconds() + predictedLatency, true);
        placements = 1;
        placedAt = 0;
        verified = false;
        return;
    }
    if (!timed || !advancing) return;
    if (placements >= mostPlacements) {
        verified = true; // the slew takes what is left
        return;
    }
    const double heardAt = timeStamp + (double(streamWritten) - timeFrames) / rate;
    if (audioRejoinPlace(heardAt, false) != 0) {
        ++placements;
        placedAt = streamWritten;
        verified = false;
    } else {
        verified = true;
    }
}

// Begins a stream for placement `current`: what the device holds of the last one goes.
bool beginStream(uint64_t current) {
    if (started && FAILED(client->Stop())) return false;
    started = false;
    if (FAILED(client->Reset())) return false;
    const Lock lock(audioLock);
    streamBase = audioHanded();
    streamWritten = 0;
    timed = advancing = reported = false;
    farSide = 0;
    placements = 0;
    verified = false;
    streamGeneration = current;
    return true;
}

// Hands the device as many frames as its buffer has room for, and starts it; false when the
// device is gone.
bool fill() {
    UINT32 padding = 0;
    if (FAILED(client->GetCurrentPadding(&padding))) return false;
    const UINT32 frames = bufferFrames - std::min(padding, bufferFrames);
    if (frames == 0) return true;
    BYTE* data = nullptr;
    if (FAILED(render->GetBuffer(frames, &data))) return false;
    UINT32 written = 0;
    {
        const Lock lock(audioLock);
        // A stream outdated by a placement takes nothing more: the next turn begins another.
        if (streamGeneration == generation) {
            if (rejoining) place();
            audioMix(reinterpret_cast<int16_t*>(data), frames);
            streamWritten += frames;
            written = frames;
        }
    }
    if (FAILED(render->ReleaseBuffer(written, 0))) return false;
    if (written > 0 && !started) {
        if (FAILED(client->Start())) return false;
        started = true;
    }
    return true;
}

// Reads the device's clock: the frame it plays and the counter's time at which it did. The clock
// follows it by the server's rule (followReport).
bool readClock() {
    UINT64 position = 0, counterTime = 0;
    if (FAILED(deviceClock->GetPosition(&position, &counterTime))) return false;
    const double moment = monotonicFromCounter(counterTime);
    const double frame = double(position) / double(clockFrequency) * rate;
    const Lock lock(audioLock);
    if (streamGeneration != generation) return true;
    const bool playing = started && frame > 0;
    if (timed && advancing && playing) {
        lastReport.moment = moment;
        lastReport.frame = frame;
        lastReport.clockFrame = heard(moment) - double(streamBase);
        lastReport.sinkSeconds = sinkSeconds;
        lastReport.latencySeconds = (double(streamWritten) - frame) / rate;
        reported = true;
        if (live) predictedLatency = lastReport.latencySeconds;
    }
    const double predicted = timed && advancing ? heard(moment) - double(streamBase) : frame;
    timeFrames = followReport(predicted, frame, jumpSeconds * rate, farSide);
    timeStamp = moment;
    timed = true;
    advancing = playing;
    return true;
}

// One turn of the thread between two waits: opens a device, begins streams, hands frames over,
// reads the clock. `deviceWoke`: the device's event ended the wait, so its position has just
// moved (Wine moves it a period at a time, on that event; read later, it is that much stale).
void step(bool deviceWoke) {
    if (defaultChanged.exchange(false) && client != nullptr) lose(true);
    if (client == nullptr) {
        if (monotonicSeconds() < retryAt) return;
        if (!openDevice()) {
            lose(false);
            return;
        }
        retryWait = firstRetrySeconds;
    }
    bool wanted = false;
    uint64_t current = 0;
    {
        const Lock lock(audioLock);
        const double now = monotonicSeconds();
        wanted = audioWantsSound();
        if (!live) rejoining = true;
        // The device's line shows the frames placed last being heard: the clock moves over to
        // it, and follows it alone once there. With nothing playing there is nothing to place.
        if (rejoining && wanted && verified && timed && advancing &&
            heard(now) >= double(streamBase + placedAt))
            audioRejoinConfirmed(now);
        if (rejoining && (!wanted || audioRejoinSlewed(now))) {
            audioOutputBack(now);
            rejoining = false;
            live = true;
        }
        current = generation;
    }
    bool ok = true;
    if (!wanted) {
        if (started || streamGeneration != 0) ok = beginStream(0); // silent and stopped
    } else {
        if (streamGeneration != current) ok = beginStream(current);
        ok = ok && fill() && (!started || (!deviceWoke && timed) || readClock());
    }
    if (!ok) lose(false);
}

void run(std::promise<bool> opened) {
    // Above the drawing: the device's buffer holds only a few hundredths of a second.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (!com || FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                        __uuidof(IMMDeviceEnumerator),
                                        reinterpret_cast<void**>(&enumerator)))) {
        enumerator = nullptr;
        if (com) CoUninitialize();
        opened.set_value(false);
        return;
    }
    enumerator->RegisterEndpointNotificationCallback(&deviceWatch);
    // Without a device the show plays silently, as on the silent device, until one comes.
    if (openDevice()) {
        const Lock lock(audioLock);
        live = true;
    } else {
        const Lock lock(audioLock);
        audioOutputLost(monotonicSeconds());
        retryAt = monotonicSeconds() + retryWait;
    }
    opened.set_value(true);
    const HANDLE events[] = {bufferEvent, wakeEvent};
    bool deviceWoke = false;
    for (;;) {
        {
            const Lock lock(audioLock);
            if (quit) break;
        }
        step(deviceWoke);
        deviceWoke = WaitForMultipleObjects(2, events, FALSE, wakeMilliseconds) == WAIT_OBJECT_0;
    }
    dropClient();
    enumerator->UnregisterEndpointNotificationCallback(&deviceWatch);
    release(enumerator);
    CoUninitialize();
}

// The sound output's calls (music/output.h).

// False only where Windows has no WASAPI; without a device it opens all the same, silently.
bool open(unsigned outputRate) {
    if (thread.joinable()) return false;
    rate = outputRate;
    bufferEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    {
        const Lock lock(audioLock);
        quit = false;
        live = rejoining = false;
        predictedLatency = bufferSeconds;
        timed = advancing = reported = false;
        ++generation;
    }
    retryWait = firstRetrySeconds;
    std::promise<bool> opened;
    std::future<bool> answer = opened.get_future();
    thread = std::thread(run, std::move(opened));
    if (answer.get()) return true;
    thread.join();
    CloseHandle(bufferEvent);
    CloseHandle(wakeEvent);
    return false;
}

void close() {
    if (!thread.joinable()) return;
    {
        const Lock lock(audioLock);
        quit = true;
        live = rejoining = false;
    }
    SetEvent(wakeEvent);
    thread.join();
    CloseHandle(bufferEvent);
    CloseHandle(wakeEvent);
}

double heard(double now) {
    if (!timed) return double(streamBase);
    double frames = timeFrames;
    if (advancing) frames += std::max(0.0, now - timeStamp) * rate;
    return double(streamBase) + std::clamp(frames, 0.0, double(streamWritten));
}

void replace() {
    ++generation;
    timed = advancing = reported = verified = false;
    if (wakeEvent != nullptr) SetEvent(wakeEvent);
}

bool report(OutputReport& report) {
    if (!live || !reported) return false;
    report = lastReport;
    report.frame += double(streamBase);
    report.clockFrame += double(streamBase);
    return true;
}

} // namespace

// Windows' audio: the default output device in shared mode, followed when it changes, rejoined
// when it comes back; a thread of its own plays through it.
extern const SoundOutput wasapiOutput = {
    "wasapi", false, open, close, heard, replace, nullptr, nullptr, report,
};
