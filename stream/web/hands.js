// zembra-stream's web page: every hand of the stream drawn in 3D with
// three.js, each with its name, state and finger bends. What is drawn comes
// whole from the server: each message carries the hand's figure (joint
// positions, palm outline, back normal, bone radius) from the recording
// skeleton, and /hands the view to start from; this script only turns them
// into shapes. It reconnects whenever the server goes away.
(function () {
  'use strict';

  var COLOURS = { left: 0x7ba915, right: 0x4fa3d9 };
  var FINGERS = ['thumb', 'index', 'middle', 'ring', 'pinky'];
  var MAX_BEND = 270; // degrees at a full bar
  var JOINT_OF_RADIUS = 1.15; // a joint's ball against the bones
  var RATE = 120; // messages a second asked for: 60 for each hand of a pair
  var NO_DATA_AFTER = 1500; // ms without a message: the page says so

  var banner = document.getElementById('banner');
  var columns = { left: document.getElementById('left'), right: document.getElementById('right') };

  function say(text) {
    banner.textContent = text;
    banner.hidden = !text;
  }

  if (typeof THREE === 'undefined' || typeof THREE.OrbitControls === 'undefined') {
    say('three.js did not load: install Debian\'s libjs-three on the computer running zembra-stream.');
    return;
  }
  var renderer;
  try {
    renderer = new THREE.WebGLRenderer({ antialias: true });
  } catch (e) {
    say('This browser cannot draw in 3D (WebGL is off).');
    return;
  }
  renderer.setPixelRatio(window.devicePixelRatio || 1);
  renderer.setClearColor(0x1b2124);
  document.body.insertBefore(renderer.domElement, document.body.firstChild);

  var scene = new THREE.Scene();
  var camera = new THREE.PerspectiveCamera(40, 1, 0.001, 100);
  scene.add(camera);
  scene.add(new THREE.AmbientLight(0xffffff, 0.55));
  var light = new THREE.DirectionalLight(0xffffff, 0.5);
  light.position.set(-0.3, 0.5, 1); // just above and left of the camera
  camera.add(light);
  var controls = new THREE.OrbitControls(camera, renderer.domElement);
  var floor = null;
  var view = null; // the server's view, for "reset view"
  var dirty = true;
  var turned = false; // the user has moved the camera since the view was set
  controls.addEventListener('change', function () { dirty = true; });
  controls.addEventListener('start', function () { turned = true; });

  var unitCylinder = new THREE.CylinderGeometry(1, 1, 1, 14); // along Y, centred
  var unitBall = new THREE.SphereGeometry(1, 14, 10);
  var yAxis = new THREE.Vector3(0, 1, 0);

  // ---- one hand ----------------------------------------------------------

  var hands = {}; // "performer:hand" -> Hand

  function Hand(message) {
    this.key = message.performer + ':' + message.hand;
    this.side = message.hand;
    this.performer = message.performer;
    var colour = new THREE.Color(COLOURS[this.side]);
    this.material = new THREE.MeshLambertMaterial({ color: colour });
    this.jointMaterial = new THREE.MeshLambertMaterial({ color: colour.clone().offsetHSL(0, 0, 0.08) });
    this.group = new THREE.Group();
    this.group.visible = false;
    scene.add(this.group);
    this.bones = [];
    this.balls = [];
    var f, k;
    for (f = 0; f < 5; ++f) {
      for (k = 0; k < 3; ++k) this.bones.push(this.add(unitCylinder, this.material));
    }
    for (f = 0; f < 21; ++f) this.balls.push(this.add(unitBall, f % 4 === 0 && f > 0 ? this.material : this.jointMaterial));
    this.palmGeometry = new THREE.BufferGeometry();
    this.palmGeometry.setAttribute('position', new THREE.Float32BufferAttribute(new Float32Array(7 * 12 * 3), 3));
    this.palmGeometry.setAttribute('normal', new THREE.Float32BufferAttribute(new Float32Array(7 * 12 * 3), 3));
    this.palm = new THREE.Mesh(this.palmGeometry, this.material);
    this.palm.material.side = THREE.DoubleSide;
    this.group.add(this.palm);
    this.panel = this.makePanel();
    this.state = message.state;
    this.lastMessage = 0;
    this.countMark = null;
    this.rate = 0;
  }

  Hand.prototype.add = function (geometry, material) {
    var mesh = new THREE.Mesh(geometry, material);
    this.group.add(mesh);
    return mesh;
  };

  Hand.prototype.makePanel = function () {
    var panel = document.createElement('div');
    panel.className = 'hand ' + this.side;
    var title = document.createElement('h2');
    title.textContent = (this.side === 'left' ? 'Left hand' : 'Right hand') +
      (this.performer > 0 ? ', performer ' + this.performer : '');
    panel.appendChild(title);
    this.stateLine = document.createElement('div');
    this.stateLine.className = 'state';
    panel.appendChild(this.stateLine);
    this.bars = [];
    this.values = [];
    for (var f = 0; f < FINGERS.length; ++f) {
      var row = document.createElement('div');
      row.className = 'bend';
      var name = document.createElement('span');
      name.textContent = FINGERS[f];
      var bar = document.createElement('div');
      bar.className = 'bar';
      var fill = document.createElement('div');
      bar.appendChild(fill);
      var value = document.createElement('span');
      value.className = 'value';
      row.appendChild(name);
      row.appendChild(bar);
      row.appendChild(value);
      panel.appendChild(row);
      this.bars.push(fill);
      this.values.push(value);
    }
    // Performers in order down each column.
    var column = columns[this.side];
    var after = null;
    for (var i = 0; i < column.children.length; ++i) {
      if (Number(column.children[i].dataset.performer) > this.performer) { after = column.children[i]; break; }
    }
    panel.dataset.performer = String(this.performer);
    column.insertBefore(panel, after);
    return panel;
  };

  function placeBetween(mesh, a, b, radius) {
    var from = new THREE.Vector3().fromArray(a), to = new THREE.Vector3().fromArray(b);
    var along = to.clone().sub(from);
    var length = along.length();
    mesh.position.copy(from).add(to).multiplyScalar(0.5);
    if (length > 0) mesh.quaternion.setFromUnitVectors(yAxis, along.divideScalar(length));
    mesh.scale.set(radius, Math.max(length, 1e-6), radius);
  }

  // The palm: its outline made a slab as thick as two bones, both faces
  // fanned from the centre, and the rim.
  Hand.prototype.placePalm = function (corners, back, thickness) {
    var n = corners.length, positions = this.palmGeometry.attributes.position.array;
    var normals = this.palmGeometry.attributes.normal.array;
    var up = new THREE.Vector3().fromArray(back).normalize();
    var half = up.clone().multiplyScalar(thickness / 2);
    var centre = new THREE.Vector3();
    var points = corners.map(function (c) { var p = new THREE.Vector3().fromArray(c); centre.add(p); return p; });
    centre.divideScalar(n);
    var at = 0;
    function put(p, normal) {
      positions[at] = p.x; positions[at + 1] = p.y; positions[at + 2] = p.z;
      normals[at] = normal.x; normals[at + 1] = normal.y; normals[at + 2] = normal.z;
      at += 3;
    }
    // Each triangle wound to face its normal, as the lighting expects.
    function triangle(p, q, r, normal) {
      var facing = q.clone().sub(p).cross(r.clone().sub(p)).dot(normal);
      put(p, normal);
      put(facing >= 0 ? q : r, normal);
      put(facing >= 0 ? r : q, normal);
    }
    var down = up.clone().negate(), top = centre.clone().add(half), bottom = centre.clone().sub(half);
    for (var i = 0; i < n; ++i) {
      var a = points[i], b = points[(i + 1) % n];
      var aTop = a.clone().add(half), bTop = b.clone().add(half), aBottom = a.clone().sub(half), bBottom = b.clone().sub(half);
      triangle(top, aTop, bTop, up);
      triangle(bottom, aBottom, bBottom, down);
      var out = b.clone().sub(a).cross(up).normalize();
      if (out.dot(a.clone().sub(centre)) < 0) out.negate();
      triangle(aTop, aBottom, bBottom, out);
      triangle(aTop, bBottom, bTop, out);
    }
    this.palmGeometry.attributes.position.needsUpdate = true;
    this.palmGeometry.attributes.normal.needsUpdate = true;
    this.palmGeometry.computeBoundingSphere();
  };

  Hand.prototype.show = function (message) {
    this.state = message.state;
    this.lastMessage = Date.now();
    if (typeof message.count === 'number') {
      var now = Date.now();
      if (!this.countMark) this.countMark = { count: message.count, at: now };
      if (now - this.countMark.at >= 1000) {
        this.rate = (message.count - this.countMark.count) * 1000 / (now - this.countMark.at);
        this.countMark = { count: message.count, at: now };
      }
    }
    var figure = message.figure;
    if (figure) {
      var p = figure.points, r = figure.radius, b = 0;
      for (var f = 0; f < 5; ++f) {
        for (var k = 0; k < 3; ++k) placeBetween(this.bones[b++], p[1 + 4 * f + k], p[2 + 4 * f + k], r);
      }
      for (var j = 0; j < p.length; ++j) {
        var ball = this.balls[j];
        ball.position.fromArray(p[j]);
        // Fingertips round off their bones; the other joints stand out a little.
        var tip = j % 4 === 0 && j > 0;
        ball.scale.setScalar(tip ? r : r * JOINT_OF_RADIUS);
      }
      this.placePalm(figure.palm, figure.back, 2 * r);
      this.group.visible = true;
    }
    if (message.bends) {
      for (var i = 0; i < FINGERS.length; ++i) {
        var degrees = message.bends[FINGERS[i]];
        this.bars[i].style.width = Math.max(0, Math.min(100, 100 * degrees / MAX_BEND)) + '%';
        this.values[i].textContent = Math.round(degrees) + '\u00b0';
      }
    }
    this.showState();
    dirty = true;
  };

  Hand.prototype.showState = function () {
    var text = this.state;
    if (!connected) text = 'not connected';
    else if (this.state === 'streaming') text = 'streaming' + (this.rate > 0 ? ', ' + Math.round(this.rate) + ' poses/s' : '');
    else if (this.state === 'no data') text = 'no data from the glove';
    this.stateLine.textContent = text;
    this.stateLine.className = 'state' + (connected && this.state === 'streaming' ? '' : ' off');
    // A hand that is not streaming stays where it last was, faded.
    var opacity = this.state === 'streaming' && connected ? 1 : 0.35;
    this.material.opacity = this.jointMaterial.opacity = opacity;
    this.material.transparent = this.jointMaterial.transparent = opacity < 1;
    dirty = true;
  };

  function handle(message) {
    if (!message || message.v !== 1 || (message.hand !== 'left' && message.hand !== 'right')) return;
    var key = message.performer + ':' + message.hand;
    if (!hands[key]) hands[key] = new Hand(message);
    hands[key].show(message);
    updateBanner();
    if (!framedLive && message.figure) refreshView();
  }

  // ---- the view ----------------------------------------------------------

  var framedLive = false; // framed on hands that delivered, not on the skeleton at rest

  function frame(v) {
    if (!v) return;
    view = v;
    turned = false;
    var target = new THREE.Vector3().fromArray(v.target), eye = new THREE.Vector3().fromArray(v.eye);
    // A narrow screen sees less across: step back until the hands fit.
    var aspect = camera.aspect;
    if (aspect < 1) eye.sub(target).multiplyScalar(1 / aspect).add(target);
    camera.fov = v.fov;
    camera.near = v.extent / 100;
    camera.far = v.extent * 100;
    camera.updateProjectionMatrix();
    camera.position.copy(eye);
    camera.up.fromArray(v.up);
    controls.target.copy(target);
    camera.lookAt(target);
    controls.update();
    if (floor) scene.remove(floor);
    floor = new THREE.GridHelper(v.extent * 2, 20, 0x33393d, 0x33393d);
    floor.quaternion.setFromUnitVectors(yAxis, new THREE.Vector3().fromArray(v.floor.normal));
    floor.position.fromArray(v.floor.centre);
    scene.add(floor);
    dirty = true;
  }

  var viewAsked = false;
  function refreshView(force) {
    if (viewAsked) return;
    viewAsked = true;
    fetch('/hands', { cache: 'no-store' }).then(function (r) { return r.json(); }).then(function (snapshot) {
      viewAsked = false;
      var live = snapshot.hands.some(function (h) { return h.count > 0; });
      if (force || !view || (live && !framedLive)) frame(snapshot.view);
      if (live) framedLive = true;
      snapshot.hands.forEach(handle);
    }).catch(function () { viewAsked = false; });
  }

  document.getElementById('home').addEventListener('click', function () { refreshView(true); });
  renderer.domElement.addEventListener('dblclick', function () { refreshView(true); });

  // ---- the connection ----------------------------------------------------

  var socket = null;
  var connected = false, everConnected = false, retry = 500;

  function updateBanner() {
    var keys = Object.keys(hands);
    var streaming = keys.filter(function (k) {
      var h = hands[k];
      return h.state === 'streaming' && Date.now() - h.lastMessage < NO_DATA_AFTER;
    });
    if (!connected) {
      say(everConnected ? 'The connection to zembra-stream is lost: reconnecting\u2026'
                        : 'Connecting to zembra-stream\u2026');
    } else if (keys.length === 0) {
      say('No glove is streaming: no glove receiver is plugged in.');
    } else if (streaming.length === 0) {
      say('No glove is streaming.');
    } else {
      say('');
    }
  }

  function connect() {
    var scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    socket = new WebSocket(scheme + location.host + '/stream?rate=' + RATE);
    socket.onopen = function () {
      connected = everConnected = true;
      retry = 500;
      refreshView(false);
      updateBanner();
    };
    socket.onmessage = function (event) {
      var message;
      try { message = JSON.parse(event.data); } catch (e) { return; }
      handle(message);
    };
    socket.onclose = function () {
      socket = null;
      var was = connected;
      connected = false;
      Object.keys(hands).forEach(function (k) { hands[k].showState(); });
      updateBanner();
      dirty = true;
      setTimeout(connect, was ? 500 : retry);
      retry = Math.min(retry * 2, 4000);
    };
  }

  // ---- drawing -----------------------------------------------------------

  function resize() {
    var w = window.innerWidth, h = window.innerHeight;
    renderer.setSize(w, h, false);
    camera.aspect = w / Math.max(1, h);
    camera.updateProjectionMatrix();
    // A screen turned or a window resized: the first view fitted anew,
    // unless the user has moved away from it.
    if (view && !turned) frame(view);
    dirty = true;
  }
  window.addEventListener('resize', resize);
  resize();

  // Only what changed is drawn: a phone's battery lasts.
  function draw() {
    requestAnimationFrame(draw);
    if (!dirty) return;
    dirty = false;
    renderer.render(scene, camera);
  }
  setInterval(function () {
    Object.keys(hands).forEach(function (k) { hands[k].showState(); });
    updateBanner();
  }, 1000);

  refreshView(false);
  connect();
  draw();
})();
