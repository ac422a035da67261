function setup() {
}

function draw() {
    throw new Error("throws on purpose");
}
