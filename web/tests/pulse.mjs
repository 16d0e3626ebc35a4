// A private PulseAudio server with one null sink, for a browser to play to where no sound device
// exists: its socket in a temporary folder, nothing shared with the machine's own server.
import { execFile, spawn } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const PROGRAMS = ['/usr/bin/pulseaudio', '/usr/bin/pactl'];

// Why no server can be started here, or null.
export function missingPulse() {
  const missing = PROGRAMS.find((p) => !existsSync(p));
  return missing ? `${missing} is not installed (Debian: pulseaudio, pulseaudio-utils)` : null;
}

// Resolves to { env, stop }: env points a client at the server.
export async function startPulse() {
  const dir = mkdtempSync(join(tmpdir(), 'wave-pulse-'));
  mkdirSync(join(dir, 'run'));
  const env = { PULSE_SERVER: `unix:${dir}/native`, PULSE_COOKIE: join(dir, 'cookie') };
  const serverEnv = { ...process.env, ...env, HOME: dir, XDG_RUNTIME_DIR: join(dir, 'run'), XDG_CONFIG_HOME: dir };
  delete serverEnv.DISPLAY;
  const server = spawn(PROGRAMS[0], ['-n', '--daemonize=no', '--exit-idle-time=-1', '--use-pid-file=no',
    '-L', `module-native-protocol-unix socket=${dir}/native auth-anonymous=1`,
    '-L', 'module-null-sink sink_name=wave rate=44100'], { stdio: 'ignore', env: serverEnv });
  const stop = () => {
    server.kill();
    rmSync(dir, { recursive: true, force: true });
  };
  const answers = () => new Promise((resolve) => {
    execFile(PROGRAMS[1], ['info'], { env: { ...process.env, ...env }, timeout: 5000 }, (error, stdout) => resolve(!error && stdout.includes('Default Sink: wave')));
  });
  for (const end = Date.now() + 30000; !(await answers());) {
    if (server.exitCode !== null || Date.now() > end) {
      stop();
      throw new Error('the private PulseAudio server did not start');
    }
    await new Promise((r) => setTimeout(r, 100));
  }
  return { env, stop };
}
