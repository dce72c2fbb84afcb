// The page around the program: the start screen (browsers let a page start sound only after a
// click or a key), the audio context, the keys, full screen, the end screen, and every fault as
// a message on the page.
(function () {
  const screen = document.getElementById("screen");
  const messages = document.getElementById("messages");

  // The page's address, read here once: its parameters become the program's arguments, in the
  // desktop program's words (web/arguments.h). ?start=SECONDS, ?nosound, ?audiodelay=SECONDS as
  // on the desktop; for tests, ?hold=SECONDS holds the clock there and starts silently,
  // ?busy=MILLISECONDS keeps each pass busy that long, ?loadingpicture keeps the loading image.
  const params = new URLSearchParams(window.location.search);
  const numbers = { start: "--start", audiodelay: "--audio-delay", hold: "--hold",
                    busy: "--busy" };
  const flags = { nosound: "--no-sound", loadingpicture: "--loading-picture" };
  const programArguments = [];
  for (const [name, value] of params) {
    if (numbers[name] && value.trim() !== "" && !isNaN(Number(value)))
      programArguments.push(numbers[name], String(Number(value)));
    else if (flags[name]) programArguments.push(flags[name]);
  }
  const silent = params.has("nosound");
  // The tests' held frame: silent, so no gesture is waited for.
  const automatic = params.has("hold");
  let phase = "loading"; // loading, waiting, starting, running, ended, failed
  let runtimeReady = false;

  function say(text) {
    const item = document.createElement("li");
    item.textContent = text;
    messages.appendChild(item);
  }
  function showScreen(text) {
    screen.textContent = text;
    screen.hidden = false;
  }
  function fail(text) {
    phase = "failed";
    showScreen(text);
    Module.zrxFailed = text;
  }

  // The browser's keys as SDL 1.2 key symbols, which the program's controls count in.
  const keySymbols = { Space: 32, Escape: 27, ArrowRight: 275, ArrowLeft: 276 };

  function toggleFullScreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else if (document.documentElement.requestFullscreen)
      document.documentElement.requestFullscreen().catch(() => {});
  }

  // The audio context, made inside the gesture; the program is started once it runs, or has
  // been found not to, and the runtime is ready.
  //
  // Its device buffer is asked for in seconds: "playback" gave 23 ms blocks, and on a machine
  // whose cores are all taken (a slow page and software GL) the browser's thread that hands
  // those blocks to the sound server waited longer than that, and the server played a gap.
  // 50 ms blocks (about 0.14 s of output latency, which the clock takes from the context's
  // timestamps) left none.
  const deviceBufferSeconds = 0.05;
  let soundDecided = null;
  function openSound() {
    if (silent || automatic) return Promise.resolve();
    let context;
    try {
      context = new AudioContext({ sampleRate: 44100, latencyHint: deviceBufferSeconds });
    } catch (error) {
      return Promise.resolve("The sound could not start (" + error.message + ")");
    }
    Module.zrxAudio = { context: context };
    const running = context.state === "running" ? Promise.resolve() : context.resume();
    const late = new Promise((resolve) => setTimeout(() => resolve("timeout"), 3000));
    return Promise.race([running.then(() => "ok", (error) => String(error)), late]).then(
      (outcome) => {
        if (context.state === "running") return;
        context.close().catch(() => {});
        Module.zrxAudio = null;
        return "The sound could not start (" + (outcome === "ok" ? context.state : outcome) + ")";
      });
  }

  function start() {
    if (phase !== "waiting") return;
    phase = "starting";
    showScreen("Starting…");
    soundDecided = openSound().then((problem) => {
      Module.zrxSoundReady = !problem && !!Module.zrxAudio;
      if (problem) say(problem + ": the show plays without sound, on the system clock.");
    });
    launch();
  }

  function launch() {
    if (phase !== "starting" || !runtimeReady) return;
    soundDecided.then(() => {
      if (phase !== "starting") return;
      phase = "running";
      screen.hidden = true;
      Module.zrxStartedAt = performance.now();
      // Without a running audio context the show plays silently, on the system clock.
      Module.callMain(Module.zrxSoundReady ? programArguments :
                                             programArguments.concat("--no-sound"));
    });
  }

  function playAgain() {
    phase = "running";
    screen.hidden = true;
    const audio = Module.zrxAudio;
    const resumed = audio && audio.context.state !== "running" ? audio.context.resume() :
                                                                  Promise.resolve();
    resumed.finally(() => Module._zrxPlayAgain());
  }

  function gesture() {
    if (phase === "waiting") start();
    else if (phase === "ended") playAgain();
  }

  window.addEventListener("keydown", (event) => {
    if (event.code === "KeyF" && phase === "running") {
      toggleFullScreen();
      return;
    }
    const symbol = keySymbols[event.code];
    if (phase === "running") {
      if (symbol) {
        event.preventDefault();
        if (!event.repeat) Module._zrxKey(symbol, 1);
      }
      return;
    }
    if (event.repeat || event.ctrlKey || event.altKey || event.metaKey) return;
    event.preventDefault();
    gesture();
  });
  window.addEventListener("keyup", (event) => {
    const symbol = keySymbols[event.code];
    if (symbol && phase === "running") Module._zrxKey(symbol, 0);
  });
  window.addEventListener("click", gesture);
  window.addEventListener("dblclick", () => {
    if (phase === "running") toggleFullScreen();
  });

  // The program's module. `zrxReady` is set by the program once start-up is done; tests wait
  // for it. Its messages, "ERROR: ..." lines among them, reach the console; failures are shown.
  window.Module = {
    canvas: document.getElementById("canvas"),
    noInitialRun: true,
    print: function (text) { console.log(text); },
    printErr: function (text) {
      console.error(text);
      if (text.startsWith("ERROR: ")) say(text.substring(7));
    },
    setStatus: function (text) {
      if (phase === "loading" && text) showScreen(text);
    },
    onRuntimeInitialized: function () {
      runtimeReady = true;
      if (phase === "failed") return;
      Module._zrxDecodeAhead();
      if (automatic) {
        // As after a visitor who read the start screen: the frames the tests compare show
        // pictures decoded ahead.
        while (Module._zrxDecodeImageAhead()) {}
        phase = "starting";
        soundDecided = openSound();
        launch();
        return;
      }
      if (phase === "loading") {
        phase = "waiting";
        showScreen("Click or press a key to start");
        // The pictures are decoded while the visitor reads that, one per task so that a click
        // is taken at once.
        Module.zrxWaitingAt = performance.now();
        const ahead = () => {
          if (phase !== "waiting") return;
          if (Module._zrxDecodeImageAhead()) setTimeout(ahead, 0);
          else Module.zrxAheadDoneAt = performance.now(); // for the start benchmark
        };
        setTimeout(ahead, 0);
      }
      launch();
    },
    onAbort: function (what) {
      fail("The show stopped: " + String(what));
    },
    zrxShowEnded: function () {
      phase = "ended";
      showScreen("The show has ended. Click or press a key to play it again.");
    },
  };

  // The one thing the show cannot do without.
  const probe = document.createElement("canvas");
  if (!probe.getContext("webgl2")) {
    fail("This browser offers no WebGL 2, which the show draws with.");
    return;
  }
  const script = document.createElement("script");
  script.src = "zoomraxvandel.js";
  script.onerror = () => fail("The show's program could not be loaded (zoomraxvandel.js).");
  document.body.appendChild(script);
  window.addEventListener("error", (event) => {
    if (phase === "loading") fail("The show's data could not be loaded: " + event.message);
    else if (phase !== "failed") say("Error: " + event.message);
  });
  window.addEventListener("unhandledrejection", (event) => {
    if (phase !== "failed") say("Error: " + String(event.reason));
  });
})();
