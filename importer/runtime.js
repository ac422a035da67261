// The part of an imported effect's script that is the same for every import:
// it reads FX (the parameters, images and passes written above it), declares
// the parameters, and draws the passes each frame. Per-instance state (pass
// targets, frame count, last time) is kept by the instance's output target.

var lxParams = {}, lxShaders = [], lxImages = {}, lxClear = 0, lxStates = {};
// Point defaults are declared in the pixels of a layer of the size the
// import was given (host points have fixed defaults in layer pixels); a
// point still at its declared default gets the file's own default instead,
// whatever the frame's size.
var LX_NOMINAL = FX.layer;

function lxPointDefault(input) {
    if (input.mouse) return [0, LX_NOMINAL[1]];
    var x = input.value[0], y = input.value[1];
    if (input.normalized) return [x * LX_NOMINAL[0], (1 - y) * LX_NOMINAL[1]];
    return [x, LX_NOMINAL[1] - y];
}

function setup() {
    for (var i = 0; i < FX.inputs.length; ++i) {
        var input = FX.inputs[i], p = 0, name = input.mouse ? "lx_mouse" : input.name;
        if (input.type == "float") {
            p = LX_initParam(name, LX_Type.FLOAT, input.label);
            LX_setParamMinMax(p, input.min, input.max);
            LX_setParamValue(p, input.value[0]);
            LX_setParamPrecision(p, 3);
        } else if (input.type == "bool" || input.type == "event") {
            p = LX_initParam(name, LX_Type.BOOL, input.label);
            LX_setParamValue(p, input.value[0] ? 1 : 0);
        } else if (input.type == "long") {
            p = LX_initParam(name, LX_Type.POPUP, input.label);
            LX_setParamChoices(p, input.labels.join("|"));
            var entry = 1;
            for (var k = 0; k < input.values.length; ++k)
                if (input.values[k] == input.value[0]) entry = k + 1;
            LX_setParamValue(p, entry);
        } else if (input.type == "point2D") {
            p = LX_initParam(name, LX_Type.POINT2D, input.label);
            LX_setParamValue(p, lxPointDefault(input));
        } else if (input.type == "color") {
            p = LX_initParam(name, LX_Type.COLOR, input.label);
            LX_setParamValue(p, [input.value[0] * 255, input.value[1] * 255, input.value[2] * 255, 255]);
        } else if (input.type == "image") {
            p = LX_initParam(name, LX_Type.LAYER, input.label);
        }
        lxParams[input.name] = p;
    }
    for (var m = 0; m < FX.images.length; ++m) lxImages[FX.images[m].name] = LX_initTexture(FX.images[m].file);
    for (var s = 0; s < FX.passes.length; ++s) lxShaders.push(LX_initShader(FX.passes[s].shader));
    lxClear = LX_initShader("lx_clear");
}

// The values the shaders get, by input name, in the file's own units.
function lxValues(state, w, h) {
    var v = {};
    for (var i = 0; i < FX.inputs.length; ++i) {
        var input = FX.inputs[i], value = LX_getParamValue(lxParams[input.name]);
        if (input.type == "long") {
            value = input.values[Math.max(0, Math.min(input.values.length - 1, value - 1))];
        } else if (input.type == "event") {
            var was = state.events[input.name];
            state.events[input.name] = value;
            value = value && !was ? 1 : 0;
        } else if (input.type == "color") {
            value = [value[0], value[1], value[2], input.value[3]];
        } else if (input.type == "point2D") {
            var d = lxPointDefault(input);
            var untouched = Math.abs(value[0] - d[0]) < 1e-3 && Math.abs(value[1] - d[1]) < 1e-3;
            var x = value[0], y = h - value[1];
            if (input.mouse) value = untouched ? [0, 0, 0, 0] : [x, y, x, y];
            else if (untouched) value = [input.value[0], input.value[1]];
            else value = input.normalized ? [x / w, y / h] : [x, y];
        }
        v[input.name] = value;
    }
    return v;
}

// A target pair (the latest frame and the one being drawn) of a size.
function lxTarget(state, name, w, h, depth) {
    var t = state.targets[name];
    if (t && t.w == w && t.h == h && t.depth == depth) return t;
    if (t) { LX_release(t.latest); LX_release(t.next); }
    t = { w: w, h: h, depth: depth, latest: LX_initRenderTarget(w, h, depth), next: LX_initRenderTarget(w, h, depth) };
    LX_renderShader(lxClear, t.latest);
    LX_renderShader(lxClear, t.next);
    state.targets[name] = t;
    return t;
}

function lxTexture(state, source, layer) {
    var colon = source.indexOf(":"), kind = colon < 0 ? source : source.substring(0, colon);
    var name = source.substring(colon + 1);
    if (kind == "input") return layer;
    if (kind == "param") return LX_getParamValue(lxParams[name]);
    if (kind == "image") return lxImages[name];
    if (kind == "target" && state.targets[name]) return state.targets[name].latest;
    return lxTarget(state, "lx_empty", 1, 1, 8).latest;
}

function lxUniforms(shader, pass, index, state, w, h, v, layer) {
    var time = state.time, delta = state.delta, now = new Date();
    var seconds = now.getHours() * 3600 + now.getMinutes() * 60 + now.getSeconds() + now.getMilliseconds() / 1000;
    var set = function (name, value) { LX_setShaderParamVal(shader, name, value); };
    set("RENDERSIZE", [w, h]);
    set("TIME", time);
    set("TIMEDELTA", delta);
    set("FRAMEINDEX", state.frame);
    set("PASSINDEX", index);
    set("DATE", [now.getFullYear(), now.getMonth() + 1, now.getDate(), seconds]);
    set("iResolution", [w, h, 1]);
    set("iTime", time);
    set("iTimeDelta", delta);
    set("iFrame", state.frame);
    set("iFrameRate", delta > 0 ? 1 / delta : 60);
    set("iDate", [now.getFullYear(), now.getMonth(), now.getDate(), seconds]);
    set("iSampleRate", 44100);
    for (var i = 0; i < FX.inputs.length; ++i) {
        var declared = FX.inputs[i];
        if (declared.type != "image") set(declared.mouse ? "iMouse" : declared.name, v[declared.name]);
    }
    for (var s = 0; s < pass.samplers.length; ++s) {
        var b = pass.samplers[s], tex = lxTexture(state, b.source, layer);
        var dim = LX_getSurfaceDim(tex) || [1, 1];
        var wrap = b.wrap == "repeat" ? LX_GL.REPEAT : b.wrap == "mirror" ? LX_GL.MIRRORED_REPEAT : LX_GL.CLAMP_TO_EDGE;
        var filter = b.filter == "nearest" ? LX_GL.NEAREST : LX_GL.LINEAR;
        LX_setTextureParam(tex, LX_GL.TEXTURE_WRAP_S, wrap);
        LX_setTextureParam(tex, LX_GL.TEXTURE_WRAP_T, wrap);
        LX_setTextureParam(tex, LX_GL.TEXTURE_MIN_FILTER, filter);
        LX_setTextureParam(tex, LX_GL.TEXTURE_MAG_FILTER, filter);
        set(b.uniform, tex);
        set("_" + b.uniform + "_imgSize", [dim[0], dim[1]]);
        set("_" + b.uniform + "_imgRect", [0, 0, dim[0], dim[1]]);
        set("_" + b.uniform + "_flip", 0);
        if (b.uniform.indexOf("iChannel") == 0) set("lx_res" + b.uniform.substring(8), [dim[0], dim[1], 1]);
    }
}

function draw() {
    var out = LX_getSequenceRT(), input = LX_getSequenceTexture();
    var outDim = LX_getSurfaceDim(out), W = outDim[0], H = outDim[1];
    var state = lxStates[out];
    if (!state) state = lxStates[out] = { targets: {}, events: {}, frame: 0, time: 0, started: false };
    var time = LX_getTime();
    // A frame at or before the last one (a seek, a render out of order)
    // starts afresh: counters at 0 and persistent targets cleared.
    var fresh = !state.started || time <= state.time;
    state.delta = fresh ? 0 : time - state.time;
    state.frame = fresh ? 0 : state.frame + 1;
    state.time = time;
    state.started = true;
    if (fresh)
        for (var name in state.targets) {
            LX_renderShader(lxClear, state.targets[name].latest);
            LX_renderShader(lxClear, state.targets[name].next);
        }
    var v = lxValues(state, W, H);
    for (var i = 0; i < FX.passes.length; ++i) {
        var pass = FX.passes[i], last = i == FX.passes.length - 1;
        var w = W, h = H;
        if (pass.width) w = Math.max(1, Math.floor(pass.width(W, H, v)) || 1);
        if (pass.height) h = Math.max(1, Math.floor(pass.height(W, H, v)) || 1);
        if (last && !pass.target) {
            lxUniforms(lxShaders[i], pass, i, state, W, H, v, input);
            LX_renderShader(lxShaders[i], out, true);
            continue;
        }
        // Targets hold 8 bits a channel unless the file asks for floats,
        // whatever the depth of the frame (a small step added each frame
        // must round away as it does in the file's own tool).
        var t = lxTarget(state, pass.target || "lx_pass" + i, w, h, pass.floating ? 32 : 8);
        lxUniforms(lxShaders[i], pass, i, state, w, h, v, input);
        LX_renderShader(lxShaders[i], t.next);
        var drawn = t.next;
        t.next = t.latest;
        t.latest = drawn;
        if (last) LX_blitRenderTarget(drawn, out, true, true);
    }
}
