// The live display: polls navdisplay's JSON and draws the plan view, the depth chart, the channel
// table, the age badges and the banner. Everything the server can say arrives here as a number
// or null (navdisplay turns NO_ITEM, inf and nan into null), and every number passes a
// finiteness check before it is shown or drawn, so the page shows a dash, never "NaN".
'use strict';

(function () {
  const SVG_NS = 'http://www.w3.org/2000/svg';
  const METRES_PER_DEGREE = (6371008.8 * Math.PI) / 180;  // mean Earth radius; a local plan view
  const FETCH_TIMEOUT_MS = 5000;

  const CH = {
    host: 'LOGHOST.SYSTEM.UTC',
    shipTime: 'SHIP.GPS.TIME',
    shipLat: 'SHIP.GPS.LAT',
    shipLon: 'SHIP.GPS.LON',
    speed: 'SHIP.GPS.HORIZONTAL_VELOCITY',
    heading: 'SHIP.GYRO.DEGREES',
    vehicleTime: 'ROV.POSITION.LAT.UTC',
    vehicleLat: 'ROV.POSITION.LAT',
    vehicleLon: 'ROV.POSITION.LON',
    depth: 'ROV.KELTO.DEPTH',
  };

  // The record's channels in order: name, unit, form of the value, and how to read it aloud.
  // Channels the server never supplies are marked, so their dash can say so.
  const CHANNELS = [
    ['LOGHOST.SYSTEM.UTC', 's', 'int', 'time'],
    ['SHIP.GPS.TIME', 's', 'int', 'time'],
    ['ROV.PRESSURE', '', 'real', 'absent'],
    ['ROV.CTD.PRESSURE', '', 'real', 'absent'],
    ['SHIP.GPS.LAT', '° N', 'real', 'lat'],
    ['SHIP.GPS.LON', '° E', 'real', 'lon'],
    ['SHIP.GPS.DIFFERENTIAL', '', 'int', 'quality'],
    ['SHIP.GPS.HORIZONTAL_VELOCITY', 'kn', 'real', 'speed'],
    ['SHIP.GPS.HDOP', '', 'real', ''],
    ['SHIP.GYRO.DEGREES.UTC', 's', 'int', 'time'],
    ['SHIP.GYRO.DEGREES', '° true', 'real', ''],
    ['SHIP.WIND.TRUE_SPEED.UTC', 's', 'int', 'absent'],
    ['SHIP.WIND.TRUE_SPEED', '', 'real', 'absent'],
    ['SHIP.WIND.TRUE_DIRECTION', '° true', 'real', 'absent'],
    ['ROV.POSITION.LAT.UTC', 's', 'real', 'time'],
    ['ROV.POSITION.LAT', '° N', 'real', 'lat'],
    ['ROV.POSITION.LON', '° E', 'real', 'lon'],
    ['ROV.KELTO.DEPTH', 'm', 'real', ''],
    ['ROV.HEADING', '°', 'real', 'absent'],
    ['ROV.PITCH', '°', 'real', 'absent'],
    ['ROV.ROLL', '°', 'real', 'absent'],
    ['ROV.ALTITUDE', 'm', 'real', 'absent'],
    ['LOGHOST.SYSTEM.CLOCKTIME.YEAR', '', 'int', 'UTC year'],
    ['LOGHOST.SYSTEM.CLOCKTIME.YEARDAY', 'day', 'int', 'yearday'],
    ['LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING', '', 'text', 'UTC'],
    ['LOGHOST.SYSTEM.CLOCKTIME.TIMEZONE', '', 'text', 'offset from UTC'],
  ];

  const FIX_QUALITY = ['no fix', 'GPS', 'differential GPS', 'PPS', 'RTK', 'float RTK',
    'estimated', 'manual', 'simulation'];

  const model = {
    config: { server: '', interval: 1, historySeconds: 3600, amberAfter: 5, redAfter: 30 },
    latest: null,           // the last /api/latest
    fetchedAt: null,        // performance.now() when it came
    samples: [],            // history, oldest first
    lastSeq: 0,
    capacity: 3600,
    reachable: null,        // whether navdisplay itself answered the last fetch
    fetchProblem: '',
  };

  // ---- Numbers and text --------------------------------------------------------------------

  function isNum(v) {
    return typeof v === 'number' && Number.isFinite(v);
  }

  function fixed(v, decimals) {
    return isNum(v) ? v.toFixed(decimals) : '—';
  }

  function validLat(v) {
    return isNum(v) && Math.abs(v) <= 90;
  }

  function validLon(v) {
    return isNum(v) && Math.abs(v) <= 360;
  }

  // A position is one only when it is on the globe and not the start-up zero of a server that
  // has had no sentence yet (0° 0′ is open sea, and no ship of ours is there).
  function position(lat, lon) {
    if (!validLat(lat) || !validLon(lon) || (lat === 0 && lon === 0)) return null;
    return { lat: lat, lon: lon };
  }

  function degreesMinutes(v, positive, negative, width) {
    if (!isNum(v)) return '—';
    const thousandths = Math.round(Math.abs(v) * 60000);  // of a minute, so 59.9996′ carries
    const degrees = Math.floor(thousandths / 60000);
    const minutes = (thousandths % 60000) / 1000;
    const hemisphere = v < 0 ? negative : positive;
    return String(degrees).padStart(width, '0') + '° ' + minutes.toFixed(3).padStart(6, '0') +
      '′ ' + hemisphere;
  }

  function latText(v) {
    return degreesMinutes(v, 'N', 'S', 2);
  }

  function lonText(v) {
    return degreesMinutes(v, 'E', 'W', 3);
  }

  function utcText(seconds) {
    if (!isNum(seconds) || Math.abs(seconds) > 8.64e12) return '—';
    return new Date(seconds * 1000).toISOString().replace('T', ' ').slice(0, 19);
  }

  function clockText(seconds) {
    const text = utcText(seconds);
    return text === '—' ? text : text.slice(11, 19);
  }

  function ageText(age) {
    if (!isNum(age)) return 'no data';
    const s = Math.max(0, Math.floor(age));
    if (s < 120) return s + ' s';
    if (s < 7200) return Math.floor(s / 60) + ' min ' + (s % 60) + ' s';
    if (s < 172800) return Math.floor(s / 3600) + ' h ' + Math.floor((s % 3600) / 60) + ' min';
    return Math.floor(s / 86400) + ' days';
  }

  function durationText(seconds) {
    if (!isNum(seconds) || seconds <= 0) return '—';
    if (seconds % 3600 === 0) return seconds / 3600 + ' h';
    if (seconds % 60 === 0) return seconds / 60 + ' min';
    return seconds + ' s';
  }

  function distanceText(metres) {
    if (!isNum(metres)) return '—';
    if (metres < 1000) return Math.round(metres) + ' m';
    if (metres < 100000) return (metres / 1000).toFixed(2) + ' km';
    return Math.round(metres / 1000) + ' km';
  }

  // 1, 2 or 5 times a power of ten, the largest not above v.
  function niceStep(v) {
    if (!isNum(v) || v <= 0) return 1;
    const power = Math.pow(10, Math.floor(Math.log10(v)));
    const mantissa = v / power;
    return (mantissa >= 5 ? 5 : mantissa >= 2 ? 2 : 1) * power;
  }

  // ---- Building the page -------------------------------------------------------------------

  function $(id) {
    return document.getElementById(id);
  }

  function setText(id, text) {
    const el = $(id);
    if (el.textContent !== text) el.textContent = text;
  }

  // Sets attributes, and refuses a non-finite number: a bad coordinate leaves the shape out of
  // place rather than writing "NaN" into the document.
  function svg(tag, attrs, text) {
    const el = document.createElementNS(SVG_NS, tag);
    for (const [name, value] of Object.entries(attrs)) {
      if (typeof value === 'number' && !Number.isFinite(value)) continue;
      el.setAttribute(name, typeof value === 'number' ? String(Math.round(value * 100) / 100) : value);
    }
    if (text !== undefined) el.textContent = text;
    return el;
  }

  function pointsAttr(points) {
    return points.map((p) => p.sx.toFixed(1) + ',' + p.sy.toFixed(1)).join(' ');
  }

  // ---- Reading the latest record -----------------------------------------------------------

  function recordValue(name) {
    const record = model.latest && model.latest.record;
    if (!record || !(name in record)) return null;
    return record[name];
  }

  function shipNow() {
    return position(recordValue(CH.shipLat), recordValue(CH.shipLon));
  }

  // The vehicle has a fix once its fix time is set; before that its fields are start-up zeros.
  function vehicleHasFix(fixTime) {
    return isNum(fixTime) && fixTime !== 0;
  }

  function vehicleNow() {
    if (!vehicleHasFix(recordValue(CH.vehicleTime))) return null;
    return position(recordValue(CH.vehicleLat), recordValue(CH.vehicleLon));
  }

  function depthNow() {
    if (!vehicleHasFix(recordValue(CH.vehicleTime))) return null;
    const depth = recordValue(CH.depth);
    return isNum(depth) ? depth : null;
  }

  // Seconds since the data were new: the age in the record, plus how long ago navdisplay got
  // that record, plus how long ago the page got it from navdisplay. So the badges keep counting
  // when the server or navdisplay falls silent.
  function ageNow(channel) {
    const age = recordValue(channel);
    const latest = model.latest;
    if (!isNum(age) || !latest || !isNum(latest.recordAge)) return null;
    const sinceFetch = model.fetchedAt === null ? 0 : (performance.now() - model.fetchedAt) / 1000;
    return age + latest.recordAge + sinceFetch;
  }

  // ---- Badges, banner, readouts --------------------------------------------------------------

  function thresholds() {
    const params = new URLSearchParams(window.location.search);
    const amberParam = parseFloat(params.get('amber'));
    const redParam = parseFloat(params.get('red'));
    const amber = isNum(amberParam) && amberParam > 0 ? amberParam : model.config.amberAfter;
    const red = isNum(redParam) && redParam > 0 ? redParam : model.config.redAfter;
    return { amber: amber, red: Math.max(red, amber) };
  }

  function ageState(age, limits) {
    if (!isNum(age)) return 'unknown';
    if (age > limits.red) return 'red';
    if (age > limits.amber) return 'amber';
    return 'ok';
  }

  function renderBadge(which, channel, limits) {
    const age = ageNow(channel);
    const state = ageState(age, limits);
    const badge = $(which + '-badge');
    badge.className = 'badge ' + state;
    badge.dataset.state = state;
    setText(which + '-age', ageText(age));
  }

  function renderBanner() {
    const banner = $('banner');
    const latest = model.latest;
    let text = '';
    let kind = '';
    if (model.reachable === false) {
      text = 'navdisplay does not answer (' + model.fetchProblem + '): the values below are old.';
      kind = 'failure';
    } else if (latest && latest.poll) {
      const poll = latest.poll;
      const since = latest.record ? ' Values below are from ' + clockText(recordValue(CH.host)) +
        ' UTC.' : '';
      if (poll.outcome === 'silent') {
        text = 'The navigation server at ' + latest.server + ' does not answer' +
          (poll.problem ? ' (' + poll.problem + ')' : '') + '.' + since;
        kind = 'failure';
      } else if (poll.outcome === 'malformed') {
        text = 'The navigation server at ' + latest.server + ' sent a reply that is not a record: ' +
          poll.problem + '.' + since;
        kind = 'warning';
      } else if (poll.outcome === 'none') {
        text = 'Waiting for the first reply from the navigation server at ' + latest.server + '…';
      }
    } else if (model.reachable === null) {
      text = 'Connecting…';
    }
    banner.hidden = text === '';
    banner.className = 'banner ' + kind;
    banner.dataset.kind = kind || 'info';
    if (banner.textContent !== text) banner.textContent = text;
  }

  function bearingText(from, to) {
    const p = project(from, to);
    const range = Math.hypot(p.x, p.y);
    if (!isNum(range)) return '—';
    if (range < 0.5) return distanceText(range) + ', beneath the ship';
    const bearing = ((Math.atan2(p.x, p.y) * 180) / Math.PI + 360) % 360;
    return distanceText(range) + ' at ' + String(Math.round(bearing) % 360).padStart(3, '0') + '°';
  }

  function renderReadouts() {
    const ship = shipNow();
    const vehicle = vehicleNow();
    const depth = depthNow();
    setText('host-time', utcText(recordValue(CH.host)));
    setText('ship-position', ship ? latText(ship.lat) + '  ' + lonText(ship.lon) : '—');
    const heading = recordValue(CH.heading);
    setText('ship-heading', isNum(heading) ? fixed(heading, 1) + '° true' : '—');
    const speed = recordValue(CH.speed);
    setText('ship-speed', isNum(speed) ? fixed(speed, 1) + ' kn' : '—');
    setText('vehicle-position', vehicle ? latText(vehicle.lat) + '  ' + lonText(vehicle.lon) :
      (vehicleHasFix(recordValue(CH.vehicleTime)) ? 'no position in its fix' : 'no fix yet'));
    setText('vehicle-offset', ship && vehicle ? bearingText(ship, vehicle) : '—');
    setText('vehicle-depth', depth === null ? '—' : fixed(depth, 1) + ' m');
  }

  // ---- Channel table -----------------------------------------------------------------------

  function valueText(value, form) {
    if (value === null || value === undefined) return '—';
    if (form === 'text') return String(value);
    if (!isNum(value)) return '—';
    if (form === 'int' && Number.isInteger(value)) return String(value);
    return value.toFixed(6);
  }

  function yeardayText(day) {
    const year = recordValue('LOGHOST.SYSTEM.CLOCKTIME.YEAR');
    if (!isNum(day) || !isNum(year) || Math.abs(year) > 200000) return '';
    const date = new Date(Date.UTC(year, 0, 1) + day * 86400000);
    return isNum(date.getTime()) ? date.toISOString().slice(5, 10) + ' (0 is 1 January)' : '';
  }

  function readingText(value, reading) {
    if (value === null || value === undefined) {
      return reading === 'absent' ? 'not supplied' : 'no value';
    }
    switch (reading) {
      case 'time': return value === 0 ? 'nothing received yet' : utcText(value);
      case 'lat': return latText(value);
      case 'lon': return lonText(value);
      case 'quality':
        return isNum(value) && FIX_QUALITY[value] !== undefined ? FIX_QUALITY[value] : '';
      case 'speed': return isNum(value) ? fixed(value * 0.514444, 2) + ' m/s' : '';
      case 'yearday': return yeardayText(value);
      case 'absent': return '';
      default: return reading;
    }
  }

  function buildTable() {
    const body = $('channel-table').tBodies[0];
    for (const [name, unit] of CHANNELS) {
      const row = body.insertRow();
      row.dataset.channel = name;
      row.insertCell().textContent = name;
      row.insertCell().textContent = '—';
      row.insertCell().textContent = unit;
      row.insertCell();
      row.cells[0].className = 'channel';
      row.cells[1].className = 'num';
    }
  }

  function renderTable() {
    const rows = $('channel-table').tBodies[0].rows;
    CHANNELS.forEach(([name, , form, reading], i) => {
      const value = recordValue(name);
      const row = rows[i];
      const shown = valueText(value, form);
      if (row.cells[1].textContent !== shown) row.cells[1].textContent = shown;
      const note = model.latest && model.latest.record ? readingText(value, reading) : '';
      if (row.cells[3].textContent !== note) row.cells[3].textContent = note;
      row.classList.toggle('absent', value === null || value === undefined);
    });
  }

  // ---- Plan view ---------------------------------------------------------------------------

  // East and north of the origin in metres, on a plane tangent there: good to well under a
  // percent over the few kilometres a ship and its vehicle cover.
  function project(origin, p) {
    let dLon = p.lon - origin.lon;
    dLon = ((((dLon + 180) % 360) + 360) % 360) - 180;
    return {
      x: dLon * METRES_PER_DEGREE * Math.cos((origin.lat * Math.PI) / 180),
      y: (p.lat - origin.lat) * METRES_PER_DEGREE,
    };
  }

  function sampleShip(s) {
    return position(s[CH.shipLat], s[CH.shipLon]);
  }

  function sampleVehicle(s) {
    return vehicleHasFix(s[CH.vehicleTime]) ? position(s[CH.vehicleLat], s[CH.vehicleLon]) : null;
  }

  // Runs of consecutive positions; a sample without one breaks the line.
  function trackRuns(pick) {
    const runs = [];
    let run = [];
    for (const s of model.samples) {
      const p = pick(s);
      if (p) {
        run.push(p);
      } else if (run.length) {
        runs.push(run);
        run = [];
      }
    }
    if (run.length) runs.push(run);
    return runs;
  }

  function planHalfSpan(origin, ship, vehicle, shipRuns, vehicleRuns) {
    const zoom = $('zoom').value;
    const fixedSpan = parseFloat(zoom);
    if (isNum(fixedSpan)) return fixedSpan / 2;
    let reach = 0;
    const consider = (p) => {
      const q = project(origin, p);
      const r = Math.max(Math.abs(q.x), Math.abs(q.y));
      if (isNum(r)) reach = Math.max(reach, r);
    };
    if (ship) consider(ship);
    if (vehicle) consider(vehicle);
    if (zoom === 'tracks') {
      for (const run of shipRuns.concat(vehicleRuns)) run.forEach(consider);
    }
    return Math.max(25, reach * 1.15);
  }

  function drawGrid(group, step, scale) {
    const count = Math.min(40, Math.floor(300 / (step * scale)) + 1);
    for (let i = -count; i <= count; i++) {
      const offset = 300 + i * step * scale;
      group.append(svg('line', { class: 'grid-line', x1: offset, y1: 0, x2: offset, y2: 600 }));
      group.append(svg('line', { class: 'grid-line', x1: 0, y1: offset, x2: 600, y2: offset }));
    }
  }

  function drawNorthArrow(group) {
    group.append(svg('path', { class: 'furniture-fill', d: 'M560,28 L570,58 L560,52 L550,58 Z' }));
    group.append(svg('text', { class: 'furniture-text', x: 560, y: 22, 'text-anchor': 'middle' }, 'N'));
  }

  function drawScaleBar(group, halfSpan, scale) {
    const metres = niceStep((halfSpan * 2) / 4);
    const length = metres * scale;
    const y = 572;
    group.append(svg('path', {
      class: 'furniture',
      d: 'M24,' + (y - 6) + ' L24,' + y + ' L' + (24 + length) + ',' + y + ' L' + (24 + length) +
        ',' + (y - 6),
    }));
    group.append(svg('text', { class: 'furniture-text', x: 24 + length / 2, y: y - 10,
      'text-anchor': 'middle', id: 'scale-label' }, distanceText(metres)));
    return metres;
  }

  function drawTrack(group, runs, origin, toScreen, cls) {
    for (const run of runs) {
      const points = run.map((p) => toScreen(project(origin, p))).filter((q) => isNum(q.sx) && isNum(q.sy));
      if (points.length > 1) group.append(svg('polyline', { class: cls, points: pointsAttr(points) }));
    }
  }

  function drawShip(group, at, heading) {
    if (isNum(heading)) {
      const hull = svg('path', { class: 'ship-mark', d: 'M0,-20 L9,-6 L9,15 L-9,15 L-9,-6 Z' });
      hull.setAttribute('transform', 'translate(' + at.sx.toFixed(1) + ',' + at.sy.toFixed(1) +
        ') rotate(' + heading.toFixed(1) + ')');
      group.append(hull);
    } else {
      group.append(svg('circle', { class: 'ship-mark', cx: at.sx, cy: at.sy, r: 9 }));
    }
    group.append(svg('text', { class: 'label-ship', x: at.sx + 18, y: at.sy - 14 }, 'Ship'));
  }

  // An open diamond, so that a vehicle straight beneath the ship leaves the ship in sight.
  function drawVehicle(group, at, depth) {
    group.append(svg('path', {
      class: 'vehicle-mark',
      d: 'M' + at.sx.toFixed(1) + ',' + (at.sy - 22).toFixed(1) + ' l22,22 l-22,22 l-22,-22 Z',
    }));
    const label = depth === null ? 'ROV' : 'ROV ' + fixed(depth, 1) + ' m';
    group.append(svg('text', { class: 'label-vehicle', x: at.sx + 20, y: at.sy + 28 }, label));
  }

  function renderPlan() {
    const plan = $('plan');
    const ship = shipNow();
    const vehicle = vehicleNow();
    const shipRuns = trackRuns(sampleShip);
    const vehicleRuns = trackRuns(sampleVehicle);
    const lastShip = shipRuns.length ? shipRuns[shipRuns.length - 1].slice(-1)[0] : null;
    const origin = ship || vehicle || lastShip;
    const layer = document.createDocumentFragment();
    if (!origin) {
      layer.append(svg('text', { class: 'empty-text', x: 300, y: 300, 'text-anchor': 'middle' },
        'No position yet'));
      drawNorthArrow(layer);
      plan.replaceChildren(layer);
      return;
    }
    const halfSpan = planHalfSpan(origin, ship, vehicle, shipRuns, vehicleRuns);
    const scale = 280 / halfSpan;  // pixels a metre
    const toScreen = (q) => ({ sx: 300 + q.x * scale, sy: 300 - q.y * scale });
    const gridStep = niceStep((halfSpan * 2) / 4);
    drawGrid(layer, gridStep, scale);
    drawTrack(layer, shipRuns, origin, toScreen, 'track-ship');
    drawTrack(layer, vehicleRuns, origin, toScreen, 'track-vehicle');
    const shipAt = ship ? toScreen(project(origin, ship)) : null;
    const vehicleAt = vehicle ? toScreen(project(origin, vehicle)) : null;
    if (shipAt && vehicleAt) {
      layer.append(svg('line', { class: 'tether', x1: shipAt.sx, y1: shipAt.sy, x2: vehicleAt.sx,
        y2: vehicleAt.sy }));
    }
    if (vehicleAt) drawVehicle(layer, vehicleAt, depthNow());
    if (shipAt) drawShip(layer, shipAt, recordValue(CH.heading));
    drawNorthArrow(layer);
    drawScaleBar(layer, halfSpan, scale);
    plan.replaceChildren(layer);
  }

  // ---- Depth chart -------------------------------------------------------------------------

  function depthPoints() {
    const points = [];
    for (const s of model.samples) {
      const t = s[CH.host];
      const d = s[CH.depth];
      points.push(isNum(t) && isNum(d) && vehicleHasFix(s[CH.vehicleTime]) ? { t: t, d: d } : null);
    }
    return points;
  }

  function axisTicks(low, high, wanted) {
    const step = niceStep((high - low) / wanted);
    const first = Math.ceil(low / step);
    const ticks = [];
    for (let i = 0; i <= wanted * 3 && ticks.length < 12; i++) {
      const v = (first + i) * step;
      if (v > high + step * 1e-9) break;
      ticks.push(v);
    }
    return ticks;
  }

  function tickDecimals(step) {
    return step >= 1 ? 0 : Math.min(6, Math.ceil(-Math.log10(step)));
  }

  function renderDepth() {
    const chart = $('depth-chart');
    const layer = document.createDocumentFragment();
    const left = 62, right = 588, top = 14, bottom = 226;
    const points = depthPoints();
    const valid = points.filter((p) => p !== null);
    if (!valid.length) {
      layer.append(svg('text', { class: 'empty-text', x: 300, y: 130, 'text-anchor': 'middle' },
        'No vehicle depth yet'));
      chart.replaceChildren(layer);
      return;
    }
    const tEnd = Math.max(...valid.map((p) => p.t));
    const tStart = Math.min(Math.min(...valid.map((p) => p.t)), tEnd - 60);
    let dLow = Math.min(0, ...valid.map((p) => p.d));
    let dHigh = Math.max(...valid.map((p) => p.d));
    if (!(dHigh - dLow >= 1)) dHigh = dLow + 10;
    dHigh += (dHigh - dLow) * 0.05;
    const x = (t) => left + ((t - tStart) / (tEnd - tStart)) * (right - left);
    const y = (d) => top + ((d - dLow) / (dHigh - dLow)) * (bottom - top);  // deeper is lower

    const depthTicks = axisTicks(dLow, dHigh, 4);
    const decimals = depthTicks.length > 1 ? tickDecimals(depthTicks[1] - depthTicks[0]) : 0;
    for (const d of depthTicks) {
      layer.append(svg('line', { class: 'grid-line', x1: left, y1: y(d), x2: right, y2: y(d) }));
      layer.append(svg('text', { class: 'axis-text', x: left - 6, y: y(d) + 4, 'text-anchor': 'end' },
        d.toFixed(decimals) + ' m'));
    }
    for (const t of axisTicks(tStart, tEnd, 4)) {
      layer.append(svg('line', { class: 'axis', x1: x(t), y1: bottom, x2: x(t), y2: bottom + 5 }));
      // A label at the right-hand edge ends at its tick rather than running off the chart.
      const anchor = x(t) > right - 30 ? 'end' : 'middle';
      layer.append(svg('text', { class: 'axis-text', x: x(t), y: bottom + 18, 'text-anchor': anchor },
        clockText(t)));
    }
    layer.append(svg('line', { class: 'axis', x1: left, y1: bottom, x2: right, y2: bottom }));
    layer.append(svg('line', { class: 'axis', x1: left, y1: top, x2: left, y2: bottom }));

    let run = [];
    const flush = () => {
      if (run.length > 1) layer.append(svg('polyline', { class: 'depth-line', points: pointsAttr(run) }));
      run = [];
    };
    for (const p of points) {
      if (p === null) {
        flush();
        continue;
      }
      const q = { sx: x(p.t), sy: y(p.d) };
      if (isNum(q.sx) && isNum(q.sy)) run.push(q);
    }
    flush();
    const last = valid[valid.length - 1];
    layer.append(svg('circle', { class: 'depth-dot', cx: x(last.t), cy: y(last.d), r: 4 }));
    chart.replaceChildren(layer);
  }

  // ---- Polling navdisplay ------------------------------------------------------------------

  async function fetchJson(url) {
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), FETCH_TIMEOUT_MS);
    try {
      const response = await fetch(url, { cache: 'no-store', signal: abort.signal });
      if (!response.ok) throw new Error('HTTP ' + response.status);
      return await response.json();
    } finally {
      clearTimeout(timer);
    }
  }

  function takeHistory(history) {
    if (!history || !Array.isArray(history.samples)) return;
    // navdisplay restarted: its counts began again, so the kept samples belong to another run.
    if (isNum(history.newest) && history.newest < model.lastSeq) {
      model.samples = [];
      model.lastSeq = 0;
      return;
    }
    model.samples.push(...history.samples);
    if (isNum(history.capacity) && history.capacity > 0) model.capacity = history.capacity;
    if (model.samples.length > model.capacity) {
      model.samples.splice(0, model.samples.length - model.capacity);
    }
    if (isNum(history.newest)) model.lastSeq = history.newest;
  }

  async function poll() {
    try {
      const latest = await fetchJson('/api/latest');
      const history = await fetchJson('/api/history?after=' + model.lastSeq);
      model.latest = latest;
      model.fetchedAt = performance.now();
      takeHistory(history);
      model.reachable = true;
    } catch (e) {
      model.reachable = false;
      model.fetchProblem = e && e.name === 'AbortError' ? 'no answer in time' : String(e && e.message);
    }
  }

  function render() {
    try {
      const limits = thresholds();
      renderBadge('ship', 'SHIP.GPS.TIME.AGE', limits);
      renderBadge('vehicle', 'ROV.POSITION.LAT.UTC.AGE', limits);
      renderBanner();
      renderReadouts();
      renderTable();
      renderPlan();
      renderDepth();
      setText('footer', 'Polling ' + (model.config.server || 'the server') + ' every ' +
        model.config.interval + ' s; history of ' + model.samples.length + ' samples (up to ' +
        durationText(model.config.historySeconds) + '). Badges turn amber after ' + limits.amber +
        ' s and red after ' + limits.red + ' s.');
    } catch (e) {
      showPageError(e);
    }
  }

  function showPageError(e) {
    const el = $('page-error');
    el.hidden = false;
    el.textContent = 'The display hit an error and may be out of date: ' +
      String((e && e.message) || e);
  }

  async function loop() {
    await poll();
    render();
    const interval = isNum(model.config.interval) ? model.config.interval : 1;
    setTimeout(loop, Math.max(200, interval * 1000));
  }

  async function start() {
    window.addEventListener('error', (event) => showPageError(event.error || event.message));
    window.addEventListener('unhandledrejection', (event) => showPageError(event.reason));
    buildTable();
    const zoom = new URLSearchParams(window.location.search).get('zoom');
    if (zoom && [...$('zoom').options].some((o) => o.value === zoom)) $('zoom').value = zoom;
    $('zoom').addEventListener('change', render);
    render();
    try {
      Object.assign(model.config, await fetchJson('/api/config'));
    } catch (e) {
      // The defaults serve until navdisplay answers; the banner says when it does not.
    }
    loop();
  }

  start();
})();
