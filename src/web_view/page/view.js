'use strict';
// The count read at a glance: the time left in the lower row's period as large as the screen allows, in the
// phase's colours, from the state the server pushes.
const face = document.getElementById('face');
const heading = document.getElementById('heading');
const middle = document.getElementById('middle');
const remaining = document.getElementById('remaining');
const paused = document.getElementById('paused');
const elapsed = document.getElementById('elapsed');
const used = document.getElementById('used');
const gone = document.getElementById('gone');
const controls = document.getElementById('controls');
const answer = document.getElementById('answer');
const wrong = document.getElementById('wrong');
const buttons = controls.querySelectorAll('button');
const pauseButton = controls.querySelector('[data-command=pause]');
// The control address carries the token after '#', so it never travels in a request line or a log.
const token = new URLSearchParams(location.hash.slice(1)).get('control');
let state = null;
let socket = null;
let retries = 0;
let heard = 0;
let fittedFor = '';

// The digits' size is measured at 100 px and scaled to fill the room between the heading and the elapsed time,
// only when the text's length or the room changes, so a tick costs one text change.
function fitDigits() {
    const key = remaining.textContent.length + ' ' + middle.clientWidth + 'x' + middle.clientHeight;
    if (key === fittedFor)
        return;
    fittedFor = key;
    remaining.style.fontSize = '100px';
    const box = remaining.getBoundingClientRect();
    if (!box.width || !box.height)
        return;
    const scale = Math.min(middle.clientWidth * 0.94 / box.width, middle.clientHeight * 0.96 / box.height);
    remaining.style.fontSize = Math.max(8, Math.floor(100 * scale)) + 'px';
}

function render() {
    if (!state)
        return;
    const reading = state.reading;
    heading.textContent = reading.heading;
    remaining.textContent = reading.remaining;
    elapsed.textContent = reading.elapsedHeading + '  ' + reading.elapsed;
    face.style.color = reading.foreground;
    face.style.background = reading.background;
    face.style.setProperty('--shade', reading.background);
    used.style.width = reading.used * 100 + '%';
    paused.hidden = !state.paused;
    face.classList.toggle('paused', state.paused);
    pauseButton.textContent = state.paused ? '再開' : '一時停止';
    document.title = (state.rehearsal ? 'リハーサル ' : '') + (state.paused ? '一時停止 ' : '') + 'Lectern';
    document.body.dataset.phase = state.phaseName;
    fitDigits();
}

function lost() {
    gone.hidden = false;
}

function connect() {
    const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    socket = new WebSocket(scheme + location.host + '/socket');
    // Back after the server was away: the token may have been renewed meanwhile.
    socket.onopen = checkToken;
    socket.onmessage = (event) => {
        state = JSON.parse(event.data);
        heard = Date.now();
        retries = 0;
        gone.hidden = true;
        render();
    };
    socket.onclose = () => {
        lost();
        socket = null;
        setTimeout(connect, Math.min(5000, 500 * 2 ** retries++));
    };
}

// The server speaks at least every few seconds; silence longer than that is a link gone without a close.
setInterval(() => {
    if (socket && socket.readyState === WebSocket.OPEN && Date.now() - heard > 8000) {
        lost();
        socket.close();
    }
}, 1000);

// The token is refused: said large, and no button left that could only fail.
function tokenRefused() {
    wrong.hidden = false;
    answer.textContent = '';
    for (const button of buttons)
        button.disabled = true;
}

function tokenTaken() {
    wrong.hidden = true;
    for (const button of buttons)
        button.disabled = false;
}

// Asked when the page opens, not only once a command fails, so the chair knows before the talk.
async function checkToken() {
    if (!token)
        return;
    try {
        const reply = await fetch('/api/check', { method: 'POST', headers: { 'X-Lectern-Token': token } });
        if (reply.status === 403)
            tokenRefused();
        else if (reply.ok)
            tokenTaken();
        else if (reply.status === 503)
            setTimeout(checkToken, 1000);
    } catch (error) {
        // A server gone is told by the socket.
    }
}

async function command(button) {
    const name = button.dataset.command;
    const body = button.dataset.seconds || '';
    try {
        const reply = await fetch('/api/' + name, { method: 'POST', headers: { 'X-Lectern-Token': token }, body });
        if (reply.status === 403)
            tokenRefused();
        answer.textContent = reply.ok || reply.status === 403 ? '' : 'エラー ' + reply.status;
    } catch (error) {
        answer.textContent = '接続が切れました';
    }
}

// A button that throws a count away acts on a second press within a few seconds, which its label asks for.
const confirmMs = 3000;
function press(button) {
    if (button.disabled)
        return;
    if (!button.dataset.confirm || button.classList.contains('confirm')) {
        clearTimeout(button.disarm);
        disarm(button);
        command(button);
        return;
    }
    button.dataset.label = button.textContent;
    button.textContent = button.dataset.confirm;
    button.classList.add('confirm');
    button.disarm = setTimeout(() => disarm(button), confirmMs);
}

function disarm(button) {
    if (!button.classList.contains('confirm'))
        return;
    button.textContent = button.dataset.label;
    button.classList.remove('confirm');
}

// The main window's keys: Space, N and B as their buttons; the arrows move by 10 s, with Shift by a minute.
function keyDown(event) {
    if (event.ctrlKey || event.altKey || event.metaKey || event.repeat)
        return;
    let button = null;
    if (event.key === 'ArrowLeft' || event.key === 'ArrowRight') {
        const seconds = (event.key === 'ArrowRight' ? 1 : -1) * (event.shiftKey ? 60 : 10);
        button = controls.querySelector('[data-seconds="' + seconds + '"]');
    } else if (!event.shiftKey) {
        button = controls.querySelector('[data-key="' + event.key.toLowerCase() + '"]');
    }
    if (!button)
        return;
    // Space would also press the button that has the focus.
    event.preventDefault();
    press(button);
}

if (token) {
    controls.hidden = false;
    for (const button of buttons)
        button.addEventListener('click', () => press(button));
    document.addEventListener('keydown', keyDown);
    checkToken();
    document.addEventListener('visibilitychange', () => {
        if (document.visibilityState === 'visible')
            checkToken();
    });
}
// A new control address opened over this one changes only what follows '#': the page starts again with it.
window.addEventListener('hashchange', () => location.reload());
window.addEventListener('resize', render);
connect();
