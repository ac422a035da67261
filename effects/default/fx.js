// Placeholder script of the default effect: declares one slider and draws
// nothing. The real Vantrel script replaces it.
var amount = 0;

function setup() {
    amount = LX_initParam("Amount", LX_Type.FLOAT, "Amount");
    LX_setParamMinMax(amount, 0, 100);
    LX_setParamValue(amount, 50);
}

function draw() {
}
