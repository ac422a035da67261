/*{
    "DESCRIPTION": "Points whose units the code tells: divided by RENDERSIZE a component at a time (pixels), given no numbers (pixels), scaled by RENDERSIZE (0 to 1)",
    "INPUTS": [
        {"NAME": "spot", "LABEL": "Spot", "TYPE": "point2D", "DEFAULT": [0.5, 0.5]},
        {"NAME": "pin", "LABEL": "Pin", "TYPE": "point2D"},
        {"NAME": "mark", "LABEL": "Mark", "TYPE": "point2D"}
    ]
}*/
void main() {
    gl_FragColor = vec4(spot.x / RENDERSIZE.x, pin.y / 16.0, (mark * RENDERSIZE).y / 16.0, spot.y/RENDERSIZE.y);
}
