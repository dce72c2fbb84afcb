// The page around the program: the start screen (browsers let a page start sound only after a
// click, a tap or a key) with the data's progress, the audio context, the keys and touches, full
// screen, the end screen, and every fault as a message on the page. The same script runs in the
// one file that holds everything (scripts/web.sh), which hands over the program and its data
// itself, as a page opened from disk may fetch nothing.
(function () {
  const screen = document.getElementById("screen");
  const startScreen = document.getElementById("start");
  const hint = document.getElementById("hint");
  const playButton = document.getElementById("play");
  const progress = document.getElementById("progress");
  const messages = document.getElementById("messages");
  const inline = window.zrxInline; // the one file's program and data, base64

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
  // A phone or a tablet: its visitor taps.
  const touchDevice = window.matchMedia("(any-pointer: coarse)").matches ||
                      navigator.maxTouchPoints > 0;
  const startText = touchDevice ? "Tap to start" : "Click or press a key to start";
  let phase; // loading, waiting, starting, running, ended, failed; the tests read body's copy
  function setPhase(next) {
    phase = next;
    document.body.dataset.phase = next;
  }
  setPhase("loading");
  let runtimeReady = false;

  function say(text) {
    const item = document.createElement("li");
    item.textContent = text;
    messages.appendChild(item);
  }
  function showScreen(text) {
    startScreen.hidden = true;
    screen.textContent = text;
    screen.hidden = false;
  }
  function fail(text) {
    setPhase("failed");
    showScreen(text);
    Module.zrxFailed = text;
  }
  // The data package's bytes as they come, from the loader's status lines ("... (12/345)").
  function showProgress(text) {
    const counts = /\((\d+(?:\.\d+)?)\/(\d+)\)/.exec(text);
    if (!counts) return;
    const loaded = Number(counts[1]), total = Number(counts[2]);
    const megabytes = (bytes) => (bytes / 1e6).toFixed(1);
    progress.hidden = false;
    hint.hidden = true;
    progress.querySelector("#bar div").style.width = (100 * loaded / total).toFixed(1) + "%";
    progress.querySelector("#bytes").textContent =
        megabytes(loaded) + " of " + megabytes(total) + " MB";
    Module.zrxProgress = [loaded, total];
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
    // iOS: sound of the "playback" kind is heard with the silent switch on.
    if (navigator.audioSession) {
      try {
        navigator.audioSession.type = "playback";
      } catch (error) {}
    }
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
    setPhase("starting");
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
      setPhase("running");
      screen.hidden = true;
      Module.zrxStartedAt = performance.now();
      // Without a running audio context the show plays silently, on the system clock.
      Module.callMain(Module.zrxSoundReady ? programArguments :
                                             programArguments.concat("--no-sound"));
    });
  }

  function playAgain() {
    setPhase("running");
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

  // Touch: a tap is space, a swipe left or right an arrow (one step), a double tap toggles full
  // screen; on the start and end screens a tap is the gesture. The touches' own default (zoom,
  // scrolling, the click a browser makes of a tap) is not wanted.
  const swipePixels = 40, doubleTapMs = 300;
  let touchStart = null, pendingTap = null, lastTapAt = -Infinity;
  function tapKey(symbol) {
    Module._zrxKey(symbol, 1);
    Module._zrxKey(symbol, 0);
  }
  window.addEventListener("touchstart", (event) => {
    event.preventDefault();
    if (event.touches.length !== 1) {
      touchStart = null;
      return;
    }
    const touch = event.touches[0];
    touchStart = { x: touch.clientX, y: touch.clientY };
  }, { passive: false });
  window.addEventListener("touchmove", (event) => event.preventDefault(), { passive: false });
  window.addEventListener("touchend", (event) => {
    event.preventDefault();
    const touch = event.changedTouches[0];
    if (!touchStart || !touch) return;
    const dx = touch.clientX - touchStart.x, dy = touch.clientY - touchStart.y;
    touchStart = null;
    if (phase !== "running") {
      if (Math.abs(dx) < swipePixels && Math.abs(dy) < swipePixels) gesture();
      return;
    }
    if (Math.abs(dx) >= swipePixels && Math.abs(dx) > 2 * Math.abs(dy)) {
      tapKey(dx > 0 ? keySymbols.ArrowRight : keySymbols.ArrowLeft);
      return;
    }
    if (Math.abs(dx) >= swipePixels || Math.abs(dy) >= swipePixels) return;
    // A tap waits to see whether a second one makes it a double tap.
    const now = performance.now();
    if (pendingTap !== null && now - lastTapAt < doubleTapMs) {
      clearTimeout(pendingTap);
      pendingTap = null;
      toggleFullScreen();
      return;
    }
    lastTapAt = now;
    pendingTap = setTimeout(() => {
      pendingTap = null;
      if (phase === "running") tapKey(keySymbols.Space);
    }, doubleTapMs);
  }, { passive: false });

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
      if (phase === "loading" && text) showProgress(text);
    },
    onRuntimeInitialized: function () {
      runtimeReady = true;
      if (phase === "failed") return;
      Module._zrxDecodeAhead();
      if (automatic) {
        // As after a visitor who read the start screen: the frames the tests compare show
        // pictures decoded ahead.
        while (Module._zrxDecodeImageAhead()) {}
        setPhase("starting");
        startScreen.hidden = true;
        soundDecided = openSound();
        launch();
        return;
      }
      if (phase === "loading") {
        setPhase("waiting");
        progress.hidden = true;
        hint.hidden = false;
        hint.textContent = startText;
        playButton.disabled = false;
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
      setPhase("ended");
      showScreen("The show has ended. Click or press a key to play it again.");
    },
  };
  if (inline) {
    const bytes = (base64) => {
      const text = atob(base64), out = new Uint8Array(text.length);
      for (let i = 0; i < text.length; ++i) out[i] = text.charCodeAt(i);
      return out;
    };
    Module.wasmBinary = bytes(inline.wasm);
    Module.getPreloadedPackage = () => bytes(inline.data).buffer;
  }

  // The one thing the show cannot do without.
  const probe = document.createElement("canvas");
  if (!probe.getContext("webgl2")) {
    fail("This browser offers no WebGL 2, which the show draws with.");
    return;
  }
  const script = document.createElement("script");
  if (inline) {
    script.textContent = document.getElementById("zrx-program").textContent;
  } else {
    script.src = "zoomraxvandel.js";
    script.onerror = () => fail("The show's program could not be loaded (zoomraxvandel.js).");
  }
  document.body.appendChild(script);
  window.addEventListener("error", (event) => {
    if (phase === "loading") fail("The show's data could not be loaded: " + event.message);
    else if (phase !== "failed") say("Error: " + event.message);
  });
  window.addEventListener("unhandledrejection", (event) => {
    if (phase !== "failed") say("Error: " + String(event.reason));
  });
})();
