// Runs the web build (build-web/site) in headless Chromium on SwiftShader and
// checks what a viewer would see: the start-up, a frame against the capture
// tool's frame at the same row and size, Escape, and the end of the music.
// Usage: node web-test.mjs SITE_DIR CAPTURE_BINARY
// Exits 0 when every check passes, 1 otherwise; prints the figures it measured.
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const [siteDir, captureBinary] = process.argv.slice(2);
const chromium = process.env.OSTREL_CHROMIUM || '/usr/bin/chromium';

// The frame compared with the capture: row 1100 is 37.5 s, frame 2250 at 60 fps.
const kRow = 1100;
const kFrame = 2250;
const kFps = 60;
const kWidth = 640;
const kHeight = 360;

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures++;
}

// Serves the site from 127.0.0.1 only, as the README tells people to.
function serve(dir) {
  const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                 '.data': 'application/octet-stream', '.png': 'image/png'};
  const server = http.createServer((req, res) => {
    const file = path.join(dir, decodeURIComponent(new URL(req.url, 'http://x').pathname));
    if (!file.startsWith(dir) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      res.writeHead(404); res.end(); return;
    }
    res.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream'});
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function launch(extraArgs = []) {
  return puppeteer.launch({
    executablePath: chromium, headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--autoplay-policy=no-user-gesture-required', ...extraArgs]});
}

// A page at the given size with its console collected; resolves once Play is enabled.
async function openPage(browser, url, width, height, scale = 1, prepare = null) {
  const page = await browser.newPage();
  if (prepare) await page.evaluateOnNewDocument(prepare);
  await page.setViewport({width, height, deviceScaleFactor: scale});
  const log = [];
  // When each line arrived, in the same order.
  log.times = [];
  page.on('console', (m) => { log.push(m.text()); log.times.push(Date.now()); });
  page.on('pageerror', (e) => log.push('PAGE ERROR ' + e.message));
  // Every text the status line shows while loading.
  await page.evaluateOnNewDocument(() => {
    window.statusSeen = [];
    document.addEventListener('DOMContentLoaded', () => {
      const line = document.getElementById('status');
      new MutationObserver(() => window.statusSeen.push(line.textContent))
        .observe(line, {childList: true, characterData: true, subtree: true});
    });
  });
  await page.goto(url);
  await page.waitForFunction(() => !document.getElementById('play').disabled, {timeout: 120000});
  return {page, log};
}

function waitForLine(log, pattern, ms) {
  const start = Date.now();
  return new Promise((resolve) => {
    const poll = () => {
      const line = log.find((l) => pattern.test(l));
      if (line || Date.now() - start > ms) resolve(line);
      else setTimeout(poll, 20);
    };
    poll();
  });
}

// RGBA pixels of an image given as a data URL.
const kReadImage = async (source) => {
  const image = new Image();
  image.src = source;
  await image.decode();
  const c = document.createElement('canvas');
  c.width = image.width; c.height = image.height;
  const g = c.getContext('2d');
  g.drawImage(image, 0, 0);
  return {width: c.width, height: c.height, data: Array.from(g.getImageData(0, 0, c.width, c.height).data)};
};

function luma(d, i) { return 0.2126 * d[i] + 0.7152 * d[i + 1] + 0.0722 * d[i + 2]; }

async function startUpAndPlay(browser, origin) {
  console.log('# start-up, play, Escape (640x360 at 2x, from #row=' + kRow + ')');
  const {page, log} = await openPage(browser, `${origin}/index.html#row=${kRow}`, 640, 360, 2);
  const seen = await page.evaluate(() => window.statusSeen);
  check(seen.some((t) => /^Loading… \d+ %$/.test(t)), `loading progress shown: ${JSON.stringify(seen)}`);
  const clicked = Date.now();
  await page.click('#play');
  const started = await waitForLine(log, /Soundtrack of/, 60000);
  console.log(`start-up after Play: ${Date.now() - clicked} ms`);

  const expected = ['Initializing Engine', 'Initialized window', 'Sucessfully initialized WebGL2',
                    'Sucessfully initialized BASS Audio Device', 'Sucessfully initialized Sync Device',
                    'Sucessfully built soundtrack'];
  const at = expected.map((e) => log.findIndex((l) => l.endsWith(e)));
  check(at.every((i, k) => i >= 0 && (k === 0 || i > at[k - 1])), 'start-up lines in order: ' + at.join(' '));
  check(/starting at 37\.500 s/.test(started || ''), `#row=${kRow} starts at 37.5 s: ${started}`);

  // A few seconds of play, counting animation frames (the program draws one each).
  const seconds = await page.evaluate(() => new Promise((resolve) => {
    let frames = 0;
    const t0 = performance.now();
    const tick = () => {
      frames++;
      if (performance.now() - t0 < 4000) requestAnimationFrame(tick);
      else resolve({frames, ms: performance.now() - t0});
    };
    requestAnimationFrame(tick);
  }));
  console.log(`frames in ${Math.round(seconds.ms)} ms: ${seconds.frames} ` +
              `(${(seconds.ms / seconds.frames).toFixed(1)} ms a frame at 1280x720)`);
  check(seconds.frames >= 2, 'frames are drawn while playing');
  const shot = await page.screenshot({encoding: 'base64'});
  const pixels = await page.evaluate(kReadImage, 'data:image/png;base64,' + shot);
  let lit = 0;
  for (let i = 0; i < pixels.data.length; i += 4) if (luma(pixels.data, i) > 40) lit++;
  check(lit > pixels.data.length / 4 / 100, `the picture is lit while playing (${lit} pixels)`);

  // The picture at device pixels, following the window.
  const size = () => page.$eval('#canvas', (c) => `${c.width}x${c.height}`);
  check((await size()) === '1280x720', `canvas at device pixels: ${await size()} for 640x360 at 2x`);
  await page.setViewport({width: 480, height: 270, deviceScaleFactor: 2});
  await page.waitForFunction(() => document.getElementById('canvas').width === 960, {timeout: 10000})
    .catch(() => {});
  check((await size()) === '960x540', `and after the window shrinks to 480x270: ${await size()}`);

  await page.keyboard.press('Escape');
  const ended = await page.waitForFunction(
    () => document.getElementById('status').textContent === 'The end.', {timeout: 30000})
    .then(() => true, () => false);
  check(ended && log.some((l) => l.endsWith('Escape key pressed!')), 'Escape stops the run');
  check(!log.some((l) => l.includes('OpenGL Error Encountered')), 'no OpenGL error while playing');
  check(!log.some((l) => l.startsWith('PAGE ERROR')), 'no page error');
  await page.close();
  return Number(/Soundtrack of ([\d.]+) s/.exec(started || '')?.[1] || NaN);
}

async function frameAgainstCapture(browser, origin) {
  console.log(`# frame at row ${kRow} (${kWidth}x${kHeight}) against ostrel-capture`);
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ostrel-web-'));
  const run = spawnSync(path.resolve(captureBinary),
    ['--size', `${kWidth}x${kHeight}`, '--samples', '4', '--from', `${kRow}r`, '--frames', '1',
     '-o', path.join(dir, 'frame-%06d.png'), '-q'],
    {cwd: path.dirname(path.resolve(captureBinary)), encoding: 'utf8', timeout: 300000,
     env: {...process.env, SDL_AUDIODRIVER: process.env.SDL_AUDIODRIVER || 'dummy'}});
  const png = path.join(dir, `frame-${String(kFrame).padStart(6, '0')}.png`);
  check(run.status === 0 && fs.existsSync(png), `ostrel-capture wrote ${path.basename(png)}` +
        (run.status === 0 ? '' : `: ${run.stderr}`));
  if (!fs.existsSync(png)) return;
  const captured = 'data:image/png;base64,' + fs.readFileSync(png).toString('base64');
  fs.rmSync(dir, {recursive: true, force: true});

  const {page, log} = await openPage(browser, `${origin}/index.html`, kWidth, kHeight);
  await page.click('#play');
  await waitForLine(log, /Soundtrack of/, 60000);
  const drawFrame = (frame) => page.evaluate((frame, fps) => {
    Module._ostrel_render_frame(frame, fps);
    // Read in the same task as the draw, before the page composites it.
    const source = document.getElementById('canvas');
    const c = document.createElement('canvas');
    c.width = source.width; c.height = source.height;
    const g = c.getContext('2d');
    g.drawImage(source, 0, 0);
    return {width: c.width, height: c.height, data: Array.from(g.getImageData(0, 0, c.width, c.height).data)};
  }, frame, kFps);
  // Half a second later: how far apart two frames that should differ are.
  const later = await drawFrame(kFrame + 30);
  const web = await drawFrame(kFrame);
  const cap = await page.evaluate(kReadImage, captured);
  // For a look at both when a check fails.
  if (process.env.OSTREL_WEB_KEEP) {
    fs.writeFileSync(path.join(process.env.OSTREL_WEB_KEEP, 'capture.png'), captured.split(',')[1], 'base64');
    fs.writeFileSync(path.join(process.env.OSTREL_WEB_KEEP, 'web.png'),
                     (await page.screenshot({encoding: 'base64'})), 'base64');
  }
  check(web.width === cap.width && web.height === cap.height,
        `same size: web ${web.width}x${web.height}, capture ${cap.width}x${cap.height}`);
  if (web.width !== cap.width || web.height !== cap.height) return;

  // Lit where the capture is lit, allowing a pixel's shift in where a line lands;
  // mean absolute difference over all channels.
  const w = cap.width, h = cap.height;
  const meanDifference = (a, b) => {
    let sum = 0;
    for (let i = 0; i < a.length; i += 4)
      for (let c = 0; c < 3; c++) sum += Math.abs(a[i + c] - b[i + c]);
    return sum / (w * h * 3);
  };
  let capLit = 0, matched = 0, brightness = 0;
  for (let y = 0; y < h; y++) {
    for (let x = 0; x < w; x++) {
      const i = 4 * (y * w + x);
      brightness += (cap.data[i] + cap.data[i + 1] + cap.data[i + 2]) / 3;
      if (luma(cap.data, i) <= 40) continue;
      capLit++;
      let found = false;
      for (let dy = -1; dy <= 1 && !found; dy++)
        for (let dx = -1; dx <= 1 && !found; dx++) {
          const xx = x + dx, yy = y + dy;
          if (xx >= 0 && yy >= 0 && xx < w && yy < h && luma(web.data, 4 * (yy * w + xx)) > 20) found = true;
        }
      if (found) matched++;
    }
  }
  const mean = meanDifference(web.data, cap.data);
  const control = meanDifference(later.data, cap.data);
  console.log(`capture lit pixels: ${capLit}, lit on the web too: ${(100 * matched / capLit).toFixed(1)} %, ` +
              `mean difference: ${mean.toFixed(2)} / 255 (capture's mean level ${(brightness / (w * h)).toFixed(2)}, ` +
              `web frame 0.5 s later: ${control.toFixed(2)})`);
  check(capLit > w * h / 100, 'the captured frame is lit');
  check(matched >= 0.95 * capLit, 'the web frame is lit where the capture is (95 %)');
  // The particles take the same places as on the desktop; what is left is the
  // resolve (a plain blit of the samples here, the weighting shader there) and
  // the two software rasterisers: 9.0 / 255 measured, where different particle
  // places made it 12.8.
  check(mean < 10, 'mean difference under 10 / 255');
  check(mean < control / 2, 'under half the difference of a frame 0.5 s later');
  check(!log.some((l) => l.includes('OpenGL Error Encountered')), 'no OpenGL error drawing the frame');
  await page.close();
}

async function endsByItself(browser, origin, length) {
  console.log('# the run ends by itself with the music');
  const from = Math.max(0, length - 2.5).toFixed(3);
  // As people write it: minutes and seconds.
  const clock = `${Math.floor(from / 60)}:${(from % 60).toFixed(3).padStart(6, '0')}`;
  const {page, log} = await openPage(browser, `${origin}/index.html#t=${clock}`, 320, 180);
  await page.click('#play');
  const started = await waitForLine(log, /Soundtrack of/, 60000);
  check(new RegExp(`starting at ${from.replace('.', '\\.')} s`).test(started || ''), `#t=${clock}: ${started}`);
  const ended = await page.waitForFunction(
    () => document.getElementById('status').textContent === 'The end.', {timeout: 30000})
    .then(() => true, () => false);
  const at = (pattern) => log.times[log.findIndex((l) => pattern.test(l))];
  const took = (at(/Engine Shutting Down$/) - at(/Soundtrack of/)) / 1000;
  console.log(`ended ${took.toFixed(2)} s after start-up, ${from} s into ${length} s`);
  check(ended && took > 2.0 && took < 10.0, 'the run ends after the last 2.5 s of music, not before');
  check(log.some((l) => l.endsWith('Engine Shutting Down')), 'the engine shuts down');
  check(!log.some((l) => l.endsWith('Escape key pressed!') || l.includes('quit message')),
        'nobody asked it to stop');
  await page.close();
}

async function fullScreenAndBack(browser, origin) {
  console.log('# full screen, and leaving it stops');
  const {page, log} = await openPage(browser, `${origin}/index.html`, 320, 180);
  await page.click('#play');
  await waitForLine(log, /Soundtrack of/, 60000);
  await page.click('#fullscreen');
  const full = await page.waitForFunction(() => !!document.fullscreenElement, {timeout: 10000})
    .then(() => true, () => false);
  check(full, 'the button puts the page in full screen');
  await page.evaluate(() => document.exitFullscreen());
  const ended = await page.waitForFunction(
    () => document.getElementById('status').textContent === 'The end.', {timeout: 30000})
    .then(() => true, () => false);
  check(ended && log.some((l) => l.endsWith('Received quit message from event system!')),
        'leaving full screen stops the run');
  await page.close();
}

async function withoutFloatBuffers(browser, origin) {
  console.log('# a browser without EXT_color_buffer_float');
  const hide = () => {
    const proto = WebGL2RenderingContext.prototype;
    const get = proto.getExtension;
    const list = proto.getSupportedExtensions;
    proto.getExtension = function(name) { return name === 'EXT_color_buffer_float' ? null : get.call(this, name); };
    proto.getSupportedExtensions = function() {
      return list.call(this).filter((name) => name !== 'EXT_color_buffer_float');
    };
  };
  const {page, log} = await openPage(browser, `${origin}/index.html#row=${kRow}`, 320, 180, 1, hide);
  await page.click('#play');
  await waitForLine(log, /Soundtrack of/, 60000);
  await new Promise((resolve) => setTimeout(resolve, 2000));
  const shot = await page.screenshot({encoding: 'base64'});
  const pixels = await page.evaluate(kReadImage, 'data:image/png;base64,' + shot);
  let lit = 0;
  for (let i = 0; i < pixels.data.length; i += 4) if (luma(pixels.data, i) > 40) lit++;
  check(log.some((l) => l.includes('No EXT_color_buffer_float: drawing into 8-bit colour buffers')),
        'says it falls back to 8-bit buffers');
  check(lit > pixels.data.length / 4 / 100, `and draws: ${lit} lit pixels`);
  check(!log.some((l) => l.includes('OpenGL Error Encountered') || l.startsWith('ERROR')),
        'with no error');
  await page.close();
}

async function withoutWebGL2(origin) {
  console.log('# a browser without WebGL2');
  const browser = await launch(['--disable-webgl2']);
  const page = await browser.newPage();
  await page.goto(`${origin}/index.html`);
  const text = await page.$eval('#status', (e) => e.textContent);
  const disabled = await page.$eval('#play', (e) => e.disabled);
  check(/no WebGL 2/.test(text) && disabled, `says so and offers no Play: "${text}"`);
  await browser.close();
}

const server = await serve(path.resolve(siteDir));
const origin = `http://127.0.0.1:${server.address().port}`;
const browser = await launch();
try {
  const length = await startUpAndPlay(browser, origin);
  await frameAgainstCapture(browser, origin);
  if (Number.isFinite(length)) await endsByItself(browser, origin, length);
  else check(false, 'the soundtrack length was logged');
  await fullScreenAndBack(browser, origin);
  await withoutFloatBuffers(browser, origin);
  await withoutWebGL2(origin);
} finally {
  await browser.close();
  server.close();
}
console.log(failures === 0 ? 'all web checks passed' : `${failures} web check(s) failed`);
process.exit(failures === 0 ? 0 : 1);
