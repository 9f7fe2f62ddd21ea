'use strict';
// The rows as the program shows them, laid out by the main window's rule, from the state the server pushes.
const upper = document.getElementById('upper');
const lower = document.getElementById('lower');
const gone = document.getElementById('gone');
const controls = document.getElementById('controls');
const answer = document.getElementById('answer');
const wrong = document.getElementById('wrong');
const buttons = controls.querySelectorAll('button');
// The control address carries the token after '#', so it never travels in a request line or a log.
const token = new URLSearchParams(location.hash.slice(1)).get('control');
let state = null;
let socket = null;
let retries = 0;
let heard = 0;

// The main window's layout rule (main_window/layout.cpp), in points; the size is taken for the form the text
// is written in, as layoutRowsInForm() does for the speaker's window.
function layoutRows(width, height, bothRows) {
    const smallerOf = (byHeight, byWidth) => (byHeight > byWidth ? byWidth : byHeight);
    const rowHeight = bothRows ? height / 2 : height;
    const oneLineSize = smallerOf(rowHeight - 1, width / 12.5 - 1);
    const twoLineSize = smallerOf((rowHeight - 1) / 2.2, width / 9 - 1);
    return { lowerTop: bothRows ? rowHeight : 0, height: rowHeight, oneLineSize, twoLineSize };
}

function clampSize(size) {
    return Math.min(2048, Math.max(1, size));
}

function showRow(element, row, layout, top) {
    element.hidden = !row.shown;
    const lines = row.text.split(/\r\n|\r|\n/);
    element.textContent = lines.join('\n');
    element.style.color = row.foreground;
    element.style.background = row.background;
    element.style.top = top + 'pt';
    element.style.height = layout.height + 'pt';
    // The count writes its text in the form the main window chose; the size is the rule's size for that form.
    element.style.fontSize = clampSize(lines.length > 1 ? layout.twoLineSize : layout.oneLineSize) + 'pt';
}

function render() {
    if (!state)
        return;
    const both = state.upper.shown && state.lower.shown;
    const bar = controls.hidden ? 0 : controls.offsetHeight;
    // CSS pixels are 3/4 of a point.
    const layout = layoutRows(window.innerWidth * 0.75, (window.innerHeight - bar) * 0.75, both);
    showRow(upper, state.upper, layout, 0);
    showRow(lower, state.lower, layout, state.upper.shown ? layout.lowerTop : 0);
    document.title = (state.rehearsal ? 'リハーサル ' : '') + (state.paused ? '一時停止 ' : '') + 'Lectern';
    upper.classList.toggle('dimmed', state.paused);
    lower.classList.toggle('dimmed', state.paused);
    document.body.dataset.phase = state.phaseName;
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

if (token) {
    controls.hidden = false;
    for (const button of buttons)
        button.addEventListener('click', () => press(button));
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
